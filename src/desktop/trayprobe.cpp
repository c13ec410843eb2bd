#include "trayprobe.h"

#ifdef LICHUAN_FREEDESKTOP
#include <QDBusConnection>
#include <QDBusInterface>
#endif

bool statusNotifierHostRegistered()
{
#ifdef LICHUAN_FREEDESKTOP
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Through an introspected interface, as Qt reads it: a watcher that
    // answers the property but cannot be introspected gets no D-Bus icon.
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusInterface host(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return host.isValid() && host.property("IsStatusNotifierHostRegistered").toBool();
#else
    return false;
#endif
}
