#pragma once

#include "net/channeladdress.h"
#include "player/streamcodecs.h"

#include <QObject>
#include <QUrl>

class QThread;
class RelayServer;

// Every byte of a direct stream reaches the stream page through here, on
// loopback: the page asks only its own origin, so no CDN's missing CORS
// headers, no header a page may not set, and no datagram socket stand in
// the way. Playlists are rewritten to point back here; bodies are passed on
// as they arrive, re-framed where the engine cannot take what they carry.
// What a stream server sends is read on a thread of the relay's own, so a
// server that sends whatever it likes can slow its own stream at most,
// never the window.
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

    // Bytes the relay holds now for stream pages, what waits in its sockets
    // included. Asks the relay's thread, and waits for its answer.
    qint64 heldBytes() const;

    // What the relay may hold for one stream, however slowly its page reads
    // and however many requests it makes; beyond it the oldest data goes.
    static constexpr qint64 MaxBacklog = 16 * 1024 * 1024;

signals:
    // What the stream carries decided how it plays (never for Play).
    void verdictReached(const QByteArray &token, const StreamVerdict &verdict);

private:
    bool start();

    QThread *m_thread = nullptr;
    RelayServer *m_server = nullptr; // lives on m_thread
    quint16 m_port = 0;
    QByteArray m_userAgent;
};
