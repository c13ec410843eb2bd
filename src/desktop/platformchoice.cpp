#include "platformchoice.h"

#include <QtGlobal>

namespace PlatformChoice {

QString forcedPlatform(const Session &session)
{
    // An explicit choice, even a poor one, is the user's to make.
    if (!session.qpaPlatform.isEmpty())
        return {};
    const bool wayland
        = !session.waylandDisplay.isEmpty() || session.sessionType == QLatin1String("wayland");
    const bool x11 = !session.x11Display.isEmpty();
    // Without XWayland the native platform is the only one that works.
    if (wayland && x11)
        return QStringLiteral("xcb");
    return {};
}

Session currentSession()
{
    Session s;
    s.qpaPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    s.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    s.sessionType = qEnvironmentVariable("XDG_SESSION_TYPE");
    s.x11Display = qEnvironmentVariable("DISPLAY");
    return s;
}

QString applyToProcess()
{
    const QString platform = forcedPlatform(currentSession());
    // Qt reads it when the application object is made.
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.toLatin1());
    return platform;
}

} // namespace PlatformChoice
