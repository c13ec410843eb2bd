#pragma once
#include "livemedia.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;
class VendorConnection;

// Tiny HTTP/1.1 server on 127.0.0.1: serves the bundled vendor site and acts as
// a scriptable fixture in tests. One request per connection, always closed.
class VendorServer : public QObject {
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    struct Response {
        int status = 200;
        QByteArray contentType
            = "text/plain"; // sent verbatim as Content-Type; empty = no Content-Type header
        QByteArray body;
        Headers headers; // extra headers (Content-Length / Connection here are ignored: framing is
                         // ours)
        int delayMs = 0; // wait this long before answering (timer, never blocks)
        bool neverAnswer = false; // accept, read the request, never answer, keep the socket open
        bool closeWithoutAnswer = false; // read the request then close the socket (after delayMs)
        // After the body, this over and over for as long as the client reads, as fast as it
        // reads: a server that sends whatever it likes. Counted among the endless streams.
        QByteArray endless;
    };
    struct Request {
        QByteArray method, path, query; // path without query string, percent-decoding not applied
        Headers headers; // in arrival order, names as sent
        bool hasHeader(const QByteArray &name) const; // case-insensitive
        QByteArray header(
            const QByteArray &name) const; // case-insensitive, first match, empty if missing
    };
    explicit VendorServer(QObject *parent = nullptr);
    ~VendorServer() override;
    void setRoot(const QString &dir); // serve files from this directory
    void setRoute(const QString &path,
        const Response &r); // exact path override (takes precedence over files)
    void removeRoute(const QString &path);
    void setFallback(const Response &r); // answer every path not routed (instead of files / 404)
    bool listen(quint16 port = 0); // 127.0.0.1; 0 = any free port
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>", no trailing slash
    QList<Request> requests() const; // every request received so far
    void clearRequests();

    // Additions beyond the core API.
    QString root() const;
    void clearFallback(); // back to files / 404
    void clearRoutes();
    void close(); // stop listening; open connections stay
    bool isListening() const;
    static QByteArray reasonPhrase(int status);
    static QByteArray contentTypeForFile(
        const QString &fileName); // "application/octet-stream" if unknown

    // Live channels, answered whenever the root holds media/live (make-media.sh makes it):
    // /live/hls/index.m3u8 and /live/hevc/index.m3u8 with their segments; /guarded/hls/, the same
    // stream refused (403) to any request without this site's home page as its Referer;
    // /cdn/hls/index.m3u8, whose segments are named on the CDN (below); and the endless
    // /live/flv/14.flv, /udp/239.3.1.1:8000, /rtp/239.3.1.2:5140, /live/ac3/17.ts and
    // /live/mpeg2/18.ts. Routes and the fallback still win.
    void dropStreams(); // cut every endless stream at once, as a failing source would
    int openStreamCount() const; // endless streams being sent now
    qint64 streamedBytes() const { return m_streamed; } // by endless streams, since construction
    // What the live channels' clock reads, in ms. By default monotonic time since construction;
    // replace it to stand anywhere in a channel's loop without waiting.
    qint64 liveClockMs() const;
    void setLiveClock(std::function<qint64()> clockMs); // empty = back to the default
    // A looped clip under media/live, shared with the HTTP streams; null if missing or unusable.
    std::shared_ptr<const LiveMedia::LoopSource> loopSource(const QString &fileName);

    // A second server on another port (0 = any free one) serving the same site, as a CDN serves
    // the /cdn/ channel's segments: from another origin, without CORS headers. Null when it
    // cannot listen; owned by this server, which keeps it on its root.
    VendorServer *startCdn(quint16 port = 0);
    VendorServer *cdn() const { return m_cdn; }

signals:
    void requestReceived(const VendorServer::Request &request);

private:
    friend class VendorConnection;
    void onNewConnection();
    QString resolveFile(const QByteArray &rawPath) const;
    QByteArray siteOrigin(const Request &request) const;
    void recordRequest(const Request &request);
    QList<LiveMedia::HlsSegment> liveSegments(const QString &folder);
    QString liveDir() const;

    QTcpServer *m_server = nullptr;
    QString m_root;
    QHash<QString, Response> m_routes;
    Response m_fallback;
    bool m_hasFallback = false;
    QList<Request> m_requests;
    // Live media, read once per root and shared by every viewer.
    QHash<QString, std::shared_ptr<const LiveMedia::LoopSource>> m_loops;
    QHash<QString, QList<LiveMedia::HlsSegment>> m_segments; // by folder under media/live
    QSet<VendorConnection *> m_streams;
    QElapsedTimer m_liveStart;
    std::function<qint64()> m_liveClock;
    VendorServer *m_cdn = nullptr;
    qint64 m_streamed = 0;
};

Q_DECLARE_METATYPE(VendorServer::Request)
