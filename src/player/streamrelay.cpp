#include "streamrelay.h"

#include "net/weburl.h"
#include "player/datagrams.h"
#include "player/flvreframer.h"
#include "player/hlsplaylist.h"
#include "player/requesthead.h"
#include "player/tsreframer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <QUrlQuery>

#include <algorithm>
#include <memory>

class RelayConnection;

namespace {

constexpr qsizetype kMaxPlaylist = 4 * 1024 * 1024;
// A rewritten playlist names each address anew, through the relay.
constexpr qsizetype kMaxRewritten = 8 * 1024 * 1024;
// A TS or FLV body is held until its codecs are known, at most this much;
// then it passes as it is.
constexpr qsizetype kMaxHeldForCodecs = 2 * 1024 * 1024;
constexpr qint64 kMaxHeldForCodecsMs = 3000;
// Handed to the socket at a time; the rest waits in the backlog, in pieces
// of whole TS packets.
constexpr qint64 kSocketHighWater = 512 * 1024;
constexpr qsizetype kPiece = 188 * 348;
// What an upstream answer may have waiting before it is read.
constexpr qint64 kReadBuffer = 256 * 1024;
// What a connection may come to hold beside its backlog without being asked:
// the socket's share, the upstream answer's buffer, a reader's hold.
constexpr qint64 kTransient = kSocketHighWater + kPiece + 64 + kReadBuffer
    + std::max(TsReframer::MaxHeldBack, FlvReframer::MaxHeldBack);
// A stream page asks for a playlist and a segment or two at a time.
constexpr int kMaxStreamConnections = 8;
constexpr int kMaxConnections = 64;
// Datagrams read at one go; the rest wait for the next turn of the loop.
constexpr int kDatagramsAtOnce = 256;
constexpr int kRequestHeadTimeoutMs = 10000;
// Upstream silent this long: the source is gone.
constexpr int kUpstreamSilenceMs = 20000;

static_assert(kMaxStreamConnections * kTransient < StreamRelay::MaxBacklog / 2,
    "the bound must leave room for a backlog");

// When the page never said: what Chromium decodes everywhere.
QSet<Codec> assumedDecodable()
{
    return {
        Codec::H264, Codec::Vp8, Codec::Vp9, Codec::Av1, Codec::Aac, Codec::MpegAudio, Codec::Opus};
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive))
        return true;
    const QHostAddress address(host);
    return address.isLoopback() || address == QHostAddress(QHostAddress::AnyIPv4)
        || address == QHostAddress(QHostAddress::AnyIPv6);
}

QByteArray chunk(const QByteArray &bytes)
{
    return QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n";
}

QString originOf(quint16 port)
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

// Whether the page may have the relay on port fetch upstream: a web
// address, and not the relay itself.
bool mayFetch(quint16 port, const QUrl &upstream)
{
    if (!WebUrl::isWebAddress(upstream))
        return false;
    const int defaultPort = upstream.scheme() == QLatin1String("https") ? 443 : 80;
    return !(isLoopbackHost(upstream.host()) && upstream.port(defaultPort) == port);
}

// The relay's address for upstream, or empty when the page may not have it
// fetched.
QByteArray relayAddress(quint16 port, const QByteArray &token, const QUrl &upstream)
{
    if (!mayFetch(port, upstream))
        return {};
    return originOf(port).toLatin1() + '/' + token + "/u/"
        + upstream.toEncoded().toBase64(
            QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace

// One stream: its source, what its page decodes, the verdict, and the
// requests its page made, which share one bound.
struct RelayStream {
    QByteArray token;
    QUrl source;
    RequestHeaders headers;
    QByteArray userAgent;
    // What the page's engine decodes, as the page said on its first request.
    QSet<Codec> decodable;
    bool decodableKnown = false;
    bool judged = false;
    bool refused = false;
    bool dropAudio = false;
    QSet<RelayConnection *> connections;
};

// The relay proper, on its own thread: the server socket, the upstream
// network, the streams and their requests.
class RelayServer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    quint16 listen();
    void begin(const std::shared_ptr<RelayStream> &stream);
    void endAll();
    qint64 heldBytes() const;

    quint16 port() const { return m_server ? m_server->serverPort() : 0; }
    QString origin() const { return originOf(port()); }
    QNetworkAccessManager *network() const { return m_network; }
    std::shared_ptr<RelayStream> stream(const QByteArray &token) const
    {
        return m_streams.value(token);
    }
    void judge(RelayStream &stream, const QList<StreamCodecs> &found);

signals:
    void verdictReached(const QByteArray &token, const StreamVerdict &verdict);

private:
    void onNewConnection();
    QList<RelayConnection *> connections() const;

    QTcpServer *m_server = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    QHash<QByteArray, std::shared_ptr<RelayStream>> m_streams;
};

// One request of a stream page, and the upstream answer (or the datagrams)
// it is served from.
class RelayConnection : public QObject {
    Q_OBJECT
public:
    RelayConnection(RelayServer *relay, QTcpSocket *socket)
        : QObject(relay), m_relay(relay), m_socket(socket)
    {
        socket->setParent(this);
        // Only a request head is ever read from the page.
        socket->setReadBufferSize(64 * 1024);
        connect(socket, &QTcpSocket::readyRead, this, &RelayConnection::readHead);
        connect(socket, &QTcpSocket::bytesWritten, this, &RelayConnection::pump);
        connect(socket, &QTcpSocket::disconnected, this, &RelayConnection::end);
        m_silence.setSingleShot(true);
        m_silence.setInterval(kRequestHeadTimeoutMs);
        connect(&m_silence, &QTimer::timeout, this, &RelayConnection::end);
        m_silence.start();
    }
    ~RelayConnection() override
    {
        if (m_reply)
            m_reply->abort();
        if (m_stream)
            m_stream->connections.remove(this);
    }

    qint64 backlogBytes() const { return m_backlogBytes; }
    // All it holds but the backlog.
    qint64 otherBytes() const
    {
        return m_held.size() + m_socket->bytesToWrite() + (m_reply ? m_reply->bytesAvailable() : 0)
            + (m_ts ? m_ts->pending() : 0) + (m_flv ? m_flv->pending() : 0);
    }
    qint64 heldBytes() const { return m_backlogBytes + otherBytes(); }
    // What it may come to hold beside its backlog before it is asked again.
    qint64 reserve() const { return std::max(kTransient, otherBytes()); }

    // Ends this request at once: upstream closes, the page's socket too.
    void end()
    {
        m_silence.stop();
        dropUpstream();
        delete m_datagrams;
        m_datagrams = nullptr;
        m_socket->disconnect(this);
        m_socket->abort();
        deleteLater();
    }

private:
    enum class Body { Sniffing, Playlist, Ts, Flv, Raw };

    // Closes the upstream connection at once.
    void dropUpstream()
    {
        if (!m_reply)
            return;
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }

    // What the stream would hold with extra more, every request of its page
    // counted.
    qint64 streamHeld(qint64 extra = 0) const
    {
        qint64 held = extra;
        for (const RelayConnection *c : qAsConst(m_stream->connections))
            held += c->m_backlogBytes + c->reserve();
        return held;
    }
    bool fitsBound(qint64 extra) const { return streamHeld(extra) <= StreamRelay::MaxBacklog; }

    void readHead()
    {
        const RequestHeadReader::State state = m_head.feed(m_socket->readAll());
        if (state == RequestHeadReader::State::TooLarge && !m_headSent)
            return respondError(431);
        if (state != RequestHeadReader::State::Complete || m_headRead)
            return; // nothing more is asked on this connection
        m_headRead = true;
        const RequestHead head = m_head.head();
        if (!head.wellFormed || head.method != "GET")
            return respondError(405);
        serve(head.target, head.fields);
    }

    void serve(const QByteArray &target, const QHash<QByteArray, QByteArray> &fields)
    {
        const QUrl url = QUrl::fromEncoded(target);
        const QString path = url.path();
        const QList<QStringView> parts = QStringView(path).split(u'/');
        // /<token>/u/<upstream> or /<token>/udp
        const auto stream = m_relay->stream(parts.value(1).toLatin1());
        const QByteArray host = fields.value("host");
        const QByteArray origin = m_relay->origin().toLatin1();
        const QByteArray fetchSite = fields.value("sec-fetch-site", "same-origin");
        // Only the stream page asks: its own origin, a live token, the
        // relay's own address (no name that could point elsewhere).
        if (!stream || stream->refused || "http://" + host != origin
            || fields.value("origin", origin) != origin || fetchSite != "same-origin")
            return respondError(403);
        if (stream->connections.size() >= kMaxStreamConnections)
            return respondError(503);
        m_stream = stream;
        m_stream->connections.insert(this);
        const QString can = QUrlQuery(url).queryItemValue(QStringLiteral("can"));
        if (!can.isEmpty() && !stream->decodableKnown) {
            stream->decodableKnown = true;
            for (QStringView key : QStringView(can).split(u','))
                stream->decodable.insert(Codecs::fromKey(key.toLatin1()));
        }
        const QStringView kind = parts.value(2);
        if (kind == u"udp" && parts.size() == 3)
            return startDatagrams();
        if (kind != u"u" || parts.size() != 4)
            return respondError(404);
        const QUrl upstream = QUrl::fromEncoded(QByteArray::fromBase64(
            parts[3].toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
        if (!mayFetch(m_relay->port(), upstream))
            return respondError(403);
        startHttp(upstream, fields.value("range"));
    }

    void startHttp(const QUrl &upstream, const QByteArray &range)
    {
        QNetworkRequest request(upstream);
        bool ownAgent = false;
        for (const auto &[name, value] : std::as_const(m_stream->headers)) {
            request.setRawHeader(name, value);
            ownAgent = ownAgent || name.compare("User-Agent", Qt::CaseInsensitive) == 0;
        }
        if (!ownAgent && !m_stream->userAgent.isEmpty())
            request.setRawHeader("User-Agent", m_stream->userAgent);
        if (!range.isEmpty())
            request.setRawHeader("Range", range);
        request.setAttribute(
            QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setTransferTimeout(kUpstreamSilenceMs);
        m_reply = m_relay->network()->get(request);
        m_reply->setReadBufferSize(kReadBuffer);
        m_silence.stop();
        // The status is known once the answer's head is in, before its body.
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &RelayConnection::upstreamFailed);
        connect(m_reply, &QNetworkReply::readyRead, this, [this] {
            if (m_reply->error() == QNetworkReply::NoError)
                take(m_reply->readAll());
        });
        connect(m_reply, &QNetworkReply::finished, this, &RelayConnection::upstreamFinished);
    }

    // An error status is the page's to see, as it came.
    bool upstreamFailed()
    {
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 400)
            return false;
        respondError(status);
        return true;
    }

    void upstreamFinished()
    {
        QNetworkReply *reply = m_reply;
        if (!reply || upstreamFailed())
            return;
        m_reply = nullptr;
        reply->deleteLater();
        // Unreachable, or cut short after it began: the page sees what it
        // would see of the source itself, a connection that failed, and
        // never takes a cut body as whole.
        if (reply->error() != QNetworkReply::NoError)
            return end();
        take(reply->readAll());
        m_upstreamDone = true;
        if (m_ts)
            m_ts->finish();
        take({}); // what waited to be recognised, or held for its codecs
        if (m_body == Body::Playlist)
            return sendPlaylist(reply->url());
        finishBody();
    }

    void startDatagrams()
    {
        const Datagrams::Source source = Datagrams::parse(m_stream->source);
        if (!source.valid())
            return respondError(400);
        m_datagrams = new QUdpSocket(this);
        // Any interface's datagrams to the port; a group is joined on the
        // default interface, as a set-top box does.
        if (!m_datagrams->bind(QHostAddress(QHostAddress::AnyIPv4), source.port,
                QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)
            || (source.group.isMulticast() && !m_datagrams->joinMulticastGroup(source.group)))
            return end();
        m_datagrams->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
        m_silence.stop();
        m_body = Body::Ts;
        m_ts = std::make_unique<TsReframer>();
        m_contentType = "video/mp2t";
        connect(
            m_datagrams, &QUdpSocket::readyRead, this, [this, source] { readDatagrams(source); });
        sendHead();
    }

    // A flood of datagrams is taken a batch at a time, so that the end of the
    // stream and the other streams get their turn.
    void readDatagrams(const Datagrams::Source &source)
    {
        for (int n = 0; n < kDatagramsAtOnce; ++n) {
            if (!m_datagrams || !m_datagrams->hasPendingDatagrams())
                return;
            const QNetworkDatagram datagram = m_datagrams->receiveDatagram();
            if (!source.source.isNull() && datagram.senderAddress() != source.source)
                continue;
            const QByteArray ts = Datagrams::tsPayload(datagram.data());
            if (!ts.isEmpty())
                take(ts);
        }
        QTimer::singleShot(0, this, [this, source] { readDatagrams(source); });
    }

    // Upstream bytes, as they arrive.
    void take(const QByteArray &bytes)
    {
        if (m_body == Body::Sniffing) {
            m_held += bytes;
            if (m_held.size() < 8 && !m_upstreamDone)
                return;
            decideBody();
            const QByteArray held = std::exchange(m_held, {});
            return take(held);
        }
        switch (m_body) {
        case Body::Sniffing:
            break;
        case Body::Playlist:
            m_held += bytes;
            if (m_held.size() > kMaxPlaylist || !fitsBound(0))
                respondError(502);
            return;
        case Body::Ts:
            m_ts->push(bytes);
            return pass(*m_ts, m_ts->programKnown());
        case Body::Flv:
            m_flv->push(bytes);
            return pass(*m_flv, m_flv->codecsKnown());
        case Body::Raw:
            if (!bytes.isEmpty())
                sendBody(bytes);
            return;
        }
    }

    void decideBody()
    {
        const QByteArray &head = m_held;
        const QByteArray type = m_reply
            ? m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()
            : QByteArray();
        m_contentType = type.isEmpty() ? QByteArrayLiteral("application/octet-stream") : type;
        if (HlsPlaylist::looksLikePlaylist(head)) {
            m_body = Body::Playlist;
        } else if (head.startsWith('\x47')) {
            m_body = Body::Ts;
            m_ts = std::make_unique<TsReframer>();
        } else if (head.startsWith("FLV")) {
            m_body = Body::Flv;
            m_flv = std::make_unique<FlvReframer>();
        } else {
            m_body = Body::Raw;
        }
    }

    // A TS or FLV body: held until what it carries is known, then judged
    // once for the whole stream, then re-framed as the verdict says.
    template<class Framer>
    void pass(Framer &framer, bool known)
    {
        if (!m_judged) {
            if (!m_holding.isValid())
                m_holding.start();
            if (!known && framer.pending() < kMaxHeldForCodecs
                && m_holding.elapsed() < kMaxHeldForCodecsMs && !m_upstreamDone && fitsBound(0))
                return;
            m_judged = true;
            if (known)
                m_relay->judge(*m_stream, {framer.codecs()});
            if (m_stream->refused)
                return end();
            framer.setDropAudio(m_stream->dropAudio);
        }
        const QByteArray out = framer.take();
        if (!out.isEmpty())
            sendBody(out);
    }

    void sendPlaylist(const QUrl &finalUrl)
    {
        QByteArray text = std::exchange(m_held, {});
        const QList<StreamCodecs> announced = HlsPlaylist::announcedCodecs(text);
        if (!announced.isEmpty())
            m_relay->judge(*m_stream, announced);
        if (m_stream->refused)
            return end();
        if (m_stream->dropAudio)
            text = HlsPlaylist::withoutAudioCodecs(text);
        const QByteArray token = m_stream->token;
        const quint16 port = m_relay->port();
        const qint64 room = StreamRelay::MaxBacklog - streamHeld();
        text = HlsPlaylist::rewrite(
            text, finalUrl,
            [port, token](const QUrl &uri) { return relayAddress(port, token, uri); },
            std::min<qint64>(kMaxRewritten, room));
        if (text.isEmpty())
            return respondError(502);
        m_socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n"
                        "Content-Length: "
            + QByteArray::number(text.size())
            + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + text);
        m_headSent = true;
        m_bodyDone = true;
        pump();
    }

    void sendHead()
    {
        if (m_headSent)
            return;
        m_headSent = true;
        m_socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + m_contentType
            + "\r\nTransfer-Encoding: chunked\r\nCache-Control: no-store\r\n"
              "Connection: close\r\n\r\n");
    }

    void sendBody(const QByteArray &bytes)
    {
        sendHead();
        for (qsizetype at = 0; at < bytes.size(); at += kPiece)
            m_backlog.append(bytes.mid(at, kPiece));
        m_backlogBytes += bytes.size();
        // A live source outruns a slow page: the oldest goes, never memory.
        while (!m_backlog.isEmpty() && !fitsBound(0)) {
            m_backlogBytes -= m_backlog.first().size();
            m_backlog.removeFirst();
        }
        pump();
    }

    void finishBody()
    {
        sendHead();
        m_bodyDone = true;
        m_lastChunkDue = true;
        pump();
    }

    void pump()
    {
        while (!m_backlog.isEmpty() && m_socket->bytesToWrite() < kSocketHighWater) {
            const QByteArray bytes = m_backlog.takeFirst();
            m_backlogBytes -= bytes.size();
            m_socket->write(chunk(bytes));
        }
        if (m_bodyDone && m_backlog.isEmpty() && !m_closing) {
            m_closing = true;
            if (m_lastChunkDue)
                m_socket->write("0\r\n\r\n");
            m_socket->disconnectFromHost();
        }
    }

    void respondError(int status)
    {
        if (m_headSent)
            return end();
        m_headSent = true;
        m_socket->write("HTTP/1.1 " + QByteArray::number(status)
            + " Relay\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        m_socket->disconnectFromHost();
        dropUpstream();
    }

    RelayServer *m_relay;
    QTcpSocket *m_socket;
    QTimer m_silence;
    RequestHeadReader m_head;
    bool m_headRead = false;
    std::shared_ptr<RelayStream> m_stream;
    QPointer<QNetworkReply> m_reply;
    QUdpSocket *m_datagrams = nullptr;
    Body m_body = Body::Sniffing;
    QByteArray m_contentType;
    QByteArray m_held;
    std::unique_ptr<TsReframer> m_ts;
    std::unique_ptr<FlvReframer> m_flv;
    bool m_judged = false;
    QElapsedTimer m_holding;
    bool m_upstreamDone = false;
    bool m_headSent = false;
    bool m_bodyDone = false;
    bool m_lastChunkDue = false;
    bool m_closing = false;
    QList<QByteArray> m_backlog;
    qint64 m_backlogBytes = 0;
};

quint16 RelayServer::listen()
{
    if (!m_server) {
        m_server = new QTcpServer(this);
        m_network = new QNetworkAccessManager(this);
        connect(m_server, &QTcpServer::newConnection, this, &RelayServer::onNewConnection);
        // Loopback only, on a port of the system's choosing.
        m_server->listen(QHostAddress::LocalHost, 0);
    }
    return m_server->isListening() ? m_server->serverPort() : 0;
}

void RelayServer::begin(const std::shared_ptr<RelayStream> &stream)
{
    endAll();
    m_streams.insert(stream->token, stream);
}

QList<RelayConnection *> RelayServer::connections() const
{
    return findChildren<RelayConnection *>(Qt::FindDirectChildrenOnly);
}

void RelayServer::endAll()
{
    m_streams.clear();
    for (RelayConnection *connection : connections())
        connection->end();
}

qint64 RelayServer::heldBytes() const
{
    qint64 held = 0;
    for (const RelayConnection *connection : connections())
        held += connection->heldBytes();
    return held;
}

void RelayServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (connections().size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        new RelayConnection(this, socket);
    }
}

void RelayServer::judge(RelayStream &stream, const QList<StreamCodecs> &found)
{
    if (stream.judged)
        return;
    stream.judged = true;
    const StreamVerdict verdict
        = ::judge(found, stream.decodableKnown ? stream.decodable : assumedDecodable());
    switch (verdict.action) {
    case StreamVerdict::Action::Play:
        return;
    case StreamVerdict::Action::Refuse:
        stream.refused = true;
        break;
    case StreamVerdict::Action::PlayWithoutSound:
        stream.dropAudio = true;
        break;
    }
    emit verdictReached(stream.token, verdict);
}

StreamRelay::StreamRelay(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<StreamVerdict>();
}

StreamRelay::~StreamRelay()
{
    if (!m_thread)
        return;
    // The relay's objects go with its thread, on that thread.
    QMetaObject::invokeMethod(m_server, &RelayServer::endAll, Qt::QueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

// The thread starts with the first stream, so a viewer that plays none
// never has it.
bool StreamRelay::start()
{
    if (!m_thread) {
        m_thread = new QThread(this);
        m_thread->setObjectName(QStringLiteral("stream relay"));
        m_server = new RelayServer;
        m_server->moveToThread(m_thread);
        connect(m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        connect(m_server, &RelayServer::verdictReached, this, &StreamRelay::verdictReached);
        m_thread->start();
    }
    if (m_port == 0) {
        RelayServer *server = m_server;
        QMetaObject::invokeMethod(
            server, [server] { return server->listen(); }, Qt::BlockingQueuedConnection, &m_port);
    }
    return m_port != 0;
}

StreamRelay::Stream StreamRelay::open(const QUrl &source, const RequestHeaders &headers)
{
    if (!start())
        return {};
    auto stream = std::make_shared<RelayStream>();
    // Unguessable: another page on this machine cannot ride on it.
    quint64 random[2];
    QRandomGenerator::system()->fillRange(random);
    stream->token = QByteArray(reinterpret_cast<const char *>(random), sizeof random).toHex();
    stream->source = source;
    stream->headers = headers;
    stream->userAgent = m_userAgent;
    // Before the page can ask: events to the relay's thread arrive in order.
    RelayServer *server = m_server;
    QMetaObject::invokeMethod(
        server, [server, stream] { server->begin(stream); }, Qt::QueuedConnection);

    const QString base = originOf(m_port) + u'/' + QString::fromLatin1(stream->token) + u'/';
    const QUrl entry = WebUrl::isDatagramAddress(source)
        ? QUrl(base + QStringLiteral("udp"))
        : QUrl::fromEncoded(relayAddress(m_port, stream->token, source));
    return {stream->token, QUrl(base), entry};
}

void StreamRelay::closeAll()
{
    if (m_server)
        QMetaObject::invokeMethod(m_server, &RelayServer::endAll, Qt::QueuedConnection);
}

qint64 StreamRelay::heldBytes() const
{
    qint64 held = 0;
    if (m_server) {
        RelayServer *server = m_server;
        QMetaObject::invokeMethod(
            server, [server] { return server->heldBytes(); }, Qt::BlockingQueuedConnection, &held);
    }
    return held;
}

#include "streamrelay.moc"
