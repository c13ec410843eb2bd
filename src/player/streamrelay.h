#pragma once

#include "net/channeladdress.h"
#include "player/streamcodecs.h"

#include <QHash>
#include <QObject>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QTcpServer;
class RelayConnection;

// Every byte of a direct stream reaches the stream page through here, on
// loopback: the page asks only its own origin, so no CDN's missing CORS
// headers, no header a page may not set, and no datagram socket stand in
// the way. Playlists are rewritten to point back here; bodies are passed on
// as they arrive, re-framed where the engine cannot take what they carry.
class StreamRelay : public QObject {
    Q_OBJECT
public:
    explicit StreamRelay(QObject *parent = nullptr);
    ~StreamRelay() override;

    struct Stream {
        QByteArray token; // empty when the relay cannot listen
        QUrl pageBase; // the stream page's own location
        QUrl entry; // where the page asks for the stream
    };
    // Starts relaying source (http, https, udp or rtp) with the channel's
    // own request headers, and ends every earlier stream: one channel plays
    // at a time.
    Stream open(const QUrl &source, const RequestHeaders &headers);
    // Ends every stream at once: upstream connections close, tokens die.
    void closeAll();
    // Sent upstream when the channel names no User-Agent of its own.
    void setUserAgent(const QByteArray &userAgent) { m_userAgent = userAgent; }

    // Bytes waiting for stream pages now, in the relay and its sockets.
    qint64 heldBytes() const;

    // What a page that reads slower than a live source may leave waiting;
    // beyond it the oldest data goes.
    static constexpr qint64 MaxBacklog = 16 * 1024 * 1024;

    struct StreamState;

signals:
    // What the stream carries decided how it plays (never for Play).
    void verdictReached(const QByteArray &token, const StreamVerdict &verdict);

private:
    friend class RelayConnection;
    bool listen();
    void onNewConnection();
    QString origin() const;
    // The relay's address for upstream, or empty when the page may not have
    // it fetched (another scheme, the relay itself).
    QByteArray relayAddress(const QByteArray &token, const QUrl &upstream) const;
    bool mayFetch(const QUrl &upstream) const;
    void judge(StreamState &stream, const QList<StreamCodecs> &found);

    QTcpServer *m_server = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    QByteArray m_userAgent;
    QHash<QByteArray, std::shared_ptr<StreamState>> m_streams;
};
