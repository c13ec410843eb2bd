#pragma once

#include "startpagestore.h"

#include <QSettings>

// The start page kept by QSettings: the registry itself on Windows, an INI
// file standing in for it elsewhere. One QSettings per call, so every read sees what other programs
// wrote meanwhile and every write reports its own outcome.
class SettingsStartPageStore : public StartPageStore {
public:
    SettingsStartPageStore(QString path, QSettings::Format format, QString group)
        : m_path(std::move(path)), m_format(format), m_group(std::move(group))
    {
    }

    std::optional<QString> read() override
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

    bool write(const QString &text) override
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

private:
    QString m_path;
    QSettings::Format m_format;
    QString m_group;
};
