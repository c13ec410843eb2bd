#include "settingsstartpagestore.h"

#include <QStandardPaths>

StartPageStoreFactory systemStartPageStore()
{
    return []() -> std::unique_ptr<StartPageStore> {
#ifdef Q_OS_WIN
        return std::make_unique<SettingsStartPageStore>(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main"),
            QSettings::NativeFormat, QString());
#else
        // No registry here: the same per-user path is kept in
        // $XDG_CONFIG_HOME/lichuantv/registry.ini (~/.config/... by default),
        // group "HKEY_CURRENT_USER/Software/Microsoft/Internet Explorer/Main",
        // value "Start page" as a string.
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (dir.isEmpty())
            return nullptr;
        return std::make_unique<SettingsStartPageStore>(
            dir + QStringLiteral("/lichuantv/registry.ini"), QSettings::IniFormat,
            QStringLiteral("HKEY_CURRENT_USER/Software/Microsoft/Internet Explorer/Main"));
#endif
    };
}
