#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

class MediaSession;
struct PlaybackState;

// The viewer among the desktop's media players: org.mpris.MediaPlayer2.
// <desktopEntry> on the session bus (MPRIS 2). It shows the session's state,
// with PropertiesChanged for every change so that desktop widgets follow
// without asking, and hands the desktop's calls to the session.
class MprisPlayer : public QObject {
    Q_OBJECT
public:
    MprisPlayer(MediaSession *session, const QString &identity, const QString &desktopEntry,
        QObject *parent = nullptr);
    ~MprisPlayer() override;

    // Whether the bus name is the viewer's.
    bool isRegistered() const { return m_registered; }

    MediaSession *session() const { return m_session; }
    QString identity() const { return m_identity; }
    QString desktopEntry() const { return m_desktopEntry; }
    // The Player interface's properties that follow the state.
    static QVariantMap playerProperties(const PlaybackState &state);

signals:
    // Raise: the window comes forward, out of the tray too.
    void raiseRequested();

private:
    void publish(const PlaybackState &state);
    QString busName() const;

    MediaSession *m_session;
    QString m_identity;
    QString m_desktopEntry;
    QVariantMap m_published;
    bool m_registered = false;
};
