#pragma once

#include "startpagestore.h"

#include <QSettings>

// The start page kept by QSettings: the registry itself on Windows, an INI
// file standing in for it elsewhere. One QSettings per call, so every read
// sees what other programs wrote meanwhile and every write reports its own
// outcome.
class SettingsStartPageStore : public StartPageStore {
public:
    SettingsStartPageStore(QString path, QSettings::Format format, QString group)
        : m_path(std::move(path)), m_format(format), m_group(std::move(group))
    {
    }

    std::optional<QString> read() override;
    bool write(const QString &text) override;

private:
    QString m_path;
    QSettings::Format m_format;
    QString m_group;
};
