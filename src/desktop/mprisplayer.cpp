#include "mprisplayer.h"

#include "mediasession.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {

const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QVariantMap metadata(const PlaybackState &state)
{
    if (!state.playing)
        return {{QStringLiteral("mpris:trackid"),
            QVariant::fromValue(
                QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};
    return {{QStringLiteral("mpris:trackid"),
                QVariant::fromValue(
                    QDBusObjectPath(QStringLiteral("/cn/lichuan/tv/channel/%1").arg(state.row)))},
        {QStringLiteral("xesam:title"), state.title}};
}

} // namespace

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supported)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supported)
public:
    explicit MprisRootAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), m_player(player)
    {
    }
    // Closing always asks first, which a desktop's Quit cannot.
    bool canQuit() const { return false; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return m_player->identity(); }
    QString desktopEntry() const { return m_player->desktopEntry(); }
    QStringList supported() const { return {}; }

public slots:
    void Raise() { emit m_player->raiseRequested(); }
    void Quit() { }

private:
    MprisPlayer *m_player;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Rate READ one WRITE ignore)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(double Volume READ one WRITE ignore)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit MprisPlayerAdaptor(MprisPlayer *player)
        : QDBusAbstractAdaptor(player), m_session(player->session())
    {
    }
    QString playbackStatus() const { return current(QStringLiteral("PlaybackStatus")).toString(); }
    QVariantMap metadata() const { return current(QStringLiteral("Metadata")).toMap(); }
    bool canGoNext() const { return current(QStringLiteral("CanGoNext")).toBool(); }
    bool canGoPrevious() const { return current(QStringLiteral("CanGoPrevious")).toBool(); }
    bool canPlay() const { return current(QStringLiteral("CanPlay")).toBool(); }
    bool canPause() const { return MediaRules::CanPause; }
    // Live television: no rate, volume or position of its own.
    double one() const { return 1.0; }
    void ignore(double) { }
    qlonglong position() const { return 0; }
    bool no() const { return false; }
    bool yes() const { return true; }

public slots:
    void Next() { m_session->request(MediaRequest::Next); }
    void Previous() { m_session->request(MediaRequest::Previous); }
    void Pause() { m_session->request(MediaRequest::Pause); }
    void PlayPause() { m_session->request(MediaRequest::PlayPause); }
    void Stop() { m_session->request(MediaRequest::Stop); }
    void Play() { m_session->request(MediaRequest::Play); }
    void Seek(qlonglong) { }
    void SetPosition(const QDBusObjectPath &, qlonglong) { }
    void OpenUri(const QString &) { }

signals:
    void Seeked(qlonglong position);

private:
    QVariant current(const QString &name) const
    {
        return MprisPlayer::playerProperties(m_session->state()).value(name);
    }

    MediaSession *m_session;
};

MprisPlayer::MprisPlayer(
    MediaSession *session, const QString &identity, const QString &desktopEntry, QObject *parent)
    : QObject(parent), m_session(session), m_identity(identity), m_desktopEntry(desktopEntry),
      m_published(playerProperties(session->state()))
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    connect(session, &MediaSession::stateChanged, this, &MprisPlayer::publish);
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_registered = bus.isConnected()
        && bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors)
        && bus.registerService(busName());
}

MprisPlayer::~MprisPlayer()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(busName());
    bus.unregisterObject(ObjectPath);
}

QString MprisPlayer::busName() const
{
    return QStringLiteral("org.mpris.MediaPlayer2.") + m_desktopEntry;
}

QVariantMap MprisPlayer::playerProperties(const PlaybackState &state)
{
    return {
        {QStringLiteral("PlaybackStatus"),
            state.playing ? QStringLiteral("Playing") : QStringLiteral("Stopped")},
        {QStringLiteral("Metadata"), metadata(state)},
        {QStringLiteral("CanGoNext"), MediaRules::canGoNext(state)},
        {QStringLiteral("CanGoPrevious"), MediaRules::canGoPrevious(state)},
        {QStringLiteral("CanPlay"), MediaRules::canPlay(state)},
    };
}

void MprisPlayer::publish(const PlaybackState &state)
{
    const QVariantMap now = playerProperties(state);
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (m_published.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_published = now;
    if (changed.isEmpty() || !m_registered)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(ObjectPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << PlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

#include "mprisplayer.moc"
