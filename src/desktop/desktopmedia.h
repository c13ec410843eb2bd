#pragma once

#include <QObject>
#include <QString>

class MediaSession;
class ScreenAwake;

// The viewer as one of the desktop's media players: its playback state, the
// desktop's media controls (MPRIS, where there is a session bus), the
// keyboard's media keys in any of its windows, and the screen kept awake
// while a channel plays where it can be seen.
class DesktopMedia : public QObject {
    Q_OBJECT
public:
    // title and desktopEntry name the viewer to the desktop; window is the
    // main window, which owns everything here.
    DesktopMedia(const QString &title, const QString &desktopEntry, QObject *window);

    MediaSession *session() const { return m_session; }

signals:
    // The desktop asks for the window, as a second start does.
    void raiseRequested();

private:
    void addMediaKeys(QObject *window);

    MediaSession *m_session;
    ScreenAwake *m_awake;
};
