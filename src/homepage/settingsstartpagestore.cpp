#include "settingsstartpagestore.h"

#include <QStringList>
#include <QVariant>

std::optional<QString> SettingsStartPageStore::read()
{
    QSettings s(m_path, m_format);
    if (s.status() != QSettings::NoError)
        return std::nullopt;
    if (!m_group.isEmpty())
        s.beginGroup(m_group);
    const QVariant v = s.value(QStringLiteral("Start page"));
    if (!v.isValid())
        return std::nullopt;
    // An unquoted comma in a hand-edited file reads back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(u',');
    if (!v.canConvert<QString>())
        return std::nullopt;
    return v.toString();
}

bool SettingsStartPageStore::write(const QString &text)
{
    QSettings s(m_path, m_format);
    if (!s.isWritable())
        return false;
    if (!m_group.isEmpty())
        s.beginGroup(m_group);
    s.setValue(QStringLiteral("Start page"), text);
    s.sync();
    return s.status() == QSettings::NoError;
}
