#include "desktopmedia.h"

#include "mediasession.h"
#include "screenawake.h"
#ifdef LICHUAN_FREEDESKTOP
#include "mprisplayer.h"
#endif

#include <QKeySequence>
#include <QShortcut>

DesktopMedia::DesktopMedia(const QString &title, const QString &desktopEntry, QObject *window)
    : QObject(window), m_session(new MediaSession(this)),
      m_awake(new ScreenAwake(desktopEntry, QStringLiteral("正在收看电视"), this))
{
    connect(m_session, &MediaSession::keepScreenAwakeChanged, m_awake, &ScreenAwake::setHeld);
#ifdef LICHUAN_FREEDESKTOP
    auto *mpris = new MprisPlayer(m_session, title, desktopEntry, this);
    connect(mpris, &MprisPlayer::raiseRequested, this, &DesktopMedia::raiseRequested);
#else
    Q_UNUSED(title)
#endif
    addMediaKeys(window);
}

// In every window of the viewer, the fullscreen player's too.
void DesktopMedia::addMediaKeys(QObject *window)
{
    for (const int key : {Qt::Key_MediaPlay, Qt::Key_MediaTogglePlayPause, Qt::Key_MediaPause,
             Qt::Key_MediaStop, Qt::Key_MediaNext, Qt::Key_MediaPrevious}) {
        auto *shortcut = new QShortcut(QKeySequence(key), window);
        shortcut->setContext(Qt::ApplicationShortcut);
        const MediaRequest request = *MediaRules::requestForKey(key);
        connect(shortcut, &QShortcut::activated, m_session,
            [this, request] { m_session->request(request); });
    }
}
