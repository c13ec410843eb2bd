#pragma once

#include <QString>

// Which windowing platform Qt runs the viewer on. Natively on Wayland a
// client can neither place its window, nor keep it on top, nor learn that it
// was minimised; through XWayland (Qt's xcb platform) it can.
namespace PlatformChoice {

// What the session says about its displays. An empty value is an unset
// variable.
struct Session {
    QString qpaPlatform; // QT_QPA_PLATFORM, the user's own choice
    QString waylandDisplay; // WAYLAND_DISPLAY
    QString sessionType; // XDG_SESSION_TYPE
    QString x11Display; // DISPLAY
};

// The platform to force for session, or an empty string to leave Qt's own
// choice: "xcb" when both a Wayland and an X display are there and the user
// chose nothing.
QString forcedPlatform(const Session &session);

// The session of this process, read from its environment. The only place
// where the viewer reads environment variables.
Session currentSession();

// Forces the platform for this process's session; call it before the
// QApplication is made. Returns what it forced, or an empty string.
QString applyToProcess();

} // namespace PlatformChoice
