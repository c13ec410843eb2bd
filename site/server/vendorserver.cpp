#include "vendorserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <iterator>

namespace {

constexpr qsizetype kMaxHeadBytes = 64 * 1024;
constexpr int kMaxHeaderCount = 100;
constexpr qint64 kChunkBytes = 256 * 1024;
// Text files are read whole for templating; anything bigger is sent as is.
constexpr qint64 kMaxTemplatedBytes = 16 * 1024 * 1024;
// A slow viewer gets no more than this queued; the stream waits for it instead.
constexpr qint64 kStreamBacklogBytes = 256 * 1024;
// Live clips are held in memory whole.
constexpr qint64 kMaxLiveClipBytes = 64 * 1024 * 1024;

// Endless channels. The multicast-style paths are what IPTV relays publish; one of them says
// nothing useful about what it sends, as many do.
struct LiveChannel {
    const char *path;
    const char *file; // under media/live; the suffix says FLV or MPEG-TS
    const char *contentType;
    bool noCache;
};

const LiveChannel kLiveChannels[] = {
    {"/live/flv/14.flv", "14.flv", "video/x-flv", true},
    {"/udp/239.3.1.1:8000", "15.ts", "video/mp2t", true},
    {"/rtp/239.3.1.2:5140", "15.ts", "application/octet-stream", false},
    {"/live/ac3/17.ts", "17.ts", "video/mp2t", true},
    {"/live/mpeg2/18.ts", "18.ts", "video/mp2t", true},
    // A script that streams FLV under its language's default type.
    {"/flv.php", "14.flv", "text/html", true},
};

// Sliding HLS channels over the segments under media/live/<folder>. A CDN channel's playlist
// names its segments on the CDN's port; a guarded one answers only its own site's pages.
struct HlsChannel {
    QByteArrayView prefix;
    const char *folder;
    bool onCdn;
    bool guarded;
};

const HlsChannel kHlsChannels[] = {
    {"/live/hls/", "hls", false, false},
    {"/live/hevc/", "hevc", false, false},
    {"/cdn/hls/", "hls", true, false},
    {"/guarded/hls/", "hls", false, true},
};

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c && QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(const QByteArray &s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), isTokenChar);
}

bool isDigits(const QByteArray &s)
{
    return !s.isEmpty() && s.size() <= 18
        && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QString lowerSuffix(const QString &fileName)
{
    return QFileInfo(fileName).suffix().toLower();
}

bool isTemplated(const QString &fileName)
{
    static const QStringList kinds = {"htm", "html", "txt", "asp", "m3u8"};
    return kinds.contains(lowerSuffix(fileName));
}

bool isText(const QString &fileName)
{
    static const QStringList kinds
        = {"htm", "html", "txt", "asp", "m3u8", "js", "css", "svg", "json"};
    return kinds.contains(lowerSuffix(fileName));
}

QByteArray htmlEscape(const QByteArray &s)
{
    return QString::fromUtf8(s).toHtmlEscaped().toUtf8();
}

enum class RangeResult { None, Partial, Unsatisfiable };

// Single byte ranges only; anything else is ignored and the whole body is sent.
RangeResult parseRangeSpec(const QByteArray &header, qint64 size, qint64 &start, qint64 &end)
{
    const QByteArray h = header.trimmed();
    const qsizetype eq = h.indexOf('=');
    if (eq < 0 || h.left(eq).trimmed().toLower() != "bytes")
        return RangeResult::None;
    const QByteArray byteRange = h.mid(eq + 1).trimmed();
    if (byteRange.contains(','))
        return RangeResult::None;
    const qsizetype dash = byteRange.indexOf('-');
    if (dash < 0)
        return RangeResult::None;
    const QByteArray first = byteRange.left(dash).trimmed();
    const QByteArray last = byteRange.mid(dash + 1).trimmed();
    if (first.isEmpty()) {
        if (!isDigits(last))
            return RangeResult::None;
        const qint64 n = last.toLongLong();
        if (n == 0 || size == 0)
            return RangeResult::Unsatisfiable;
        start = std::max<qint64>(0, size - n);
        end = size - 1;
        return RangeResult::Partial;
    }
    if (!isDigits(first) || (!last.isEmpty() && !isDigits(last)))
        return RangeResult::None;
    start = first.toLongLong();
    if (!last.isEmpty()) {
        const qint64 b = last.toLongLong();
        if (b < start)
            return RangeResult::None;
        end = std::min(b, size - 1);
    } else {
        end = size - 1;
    }
    if (start >= size)
        return RangeResult::Unsatisfiable;
    return RangeResult::Partial;
}

// Leaves start/end alone unless the answer is Partial.
RangeResult parseRange(const QByteArray &header, qint64 size, qint64 &start, qint64 &end)
{
    qint64 a = 0, b = 0;
    const RangeResult result = parseRangeSpec(header, size, a, b);
    if (result == RangeResult::Partial) {
        start = a;
        end = b;
    }
    return result;
}

// Parses everything before the empty line. Returns false on malformed input.
bool parseHead(const QByteArray &head, VendorServer::Request &req, qint64 &contentLength)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    if (lines.isEmpty())
        return false;

    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3)
        return false;
    const QByteArray &method = parts[0];
    QByteArray target = parts[1];
    const QByteArray &version = parts[2];
    if (!isToken(method) || target.isEmpty())
        return false;
    if (version.size() != 8 || !version.startsWith("HTTP/1.") || version[7] < '0'
        || version[7] > '9')
        return false;
    for (char c : target) {
        if (uchar(c) <= 0x20 || uchar(c) == 0x7f)
            return false;
    }
    const QByteArray lowerTarget = target.toLower();
    if (lowerTarget.startsWith("http://") || lowerTarget.startsWith("https://")) {
        // Absolute form, as proxies send it: keep only the path part.
        const qsizetype hostStart = target.indexOf("//") + 2;
        const qsizetype slash = target.indexOf('/', hostStart);
        const qsizetype question = target.indexOf('?', hostStart);
        if (slash < 0 || (question >= 0 && question < slash))
            target = "/" + (question >= 0 ? target.mid(question) : QByteArray());
        else
            target = target.mid(slash);
    } else if (!target.startsWith('/') && target != "*") {
        return false;
    }
    const qsizetype q = target.indexOf('?');
    req.method = method;
    req.path = q >= 0 ? target.left(q) : target;
    req.query = q >= 0 ? target.mid(q + 1) : QByteArray();

    contentLength = 0;
    bool haveLength = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        if (line.startsWith(' ') || line.startsWith('\t') || line.contains('\r')
            || line.contains('\0'))
            return false;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        const QByteArray name = line.left(colon);
        if (!isToken(name))
            return false;
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (req.headers.size() >= kMaxHeaderCount)
            return false;
        req.headers.append({name, value});
        if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
            if (!isDigits(value))
                return false;
            const qint64 n = value.toLongLong();
            if (haveLength && n != contentLength)
                return false;
            contentLength = n;
            haveLength = true;
        }
    }
    return true;
}

bool hasBody(int status)
{
    return status >= 200 && status != 204 && status != 304;
}

bool isFramingHeader(const QByteArray &name)
{
    return name.compare("content-length", Qt::CaseInsensitive) == 0
        || name.compare("connection", Qt::CaseInsensitive) == 0
        || name.compare("transfer-encoding", Qt::CaseInsensitive) == 0;
}

} // namespace

// One accepted socket: reads one request, answers once, then closes.
// A child of its socket, so it goes away with it (and takes its timers along).
namespace {
// The same bytes for ever, all due at once.
class Repeated : public LiveMedia::Stream {
public:
    explicit Repeated(const QByteArray &block)
    {
        while (m_bytes.size() < 64 * 1024)
            m_bytes += block;
    }
    LiveMedia::Chunk next() override { return {m_bytes, 0}; }

private:
    QByteArray m_bytes;
};
} // namespace

class VendorConnection : public QObject {
public:
    VendorConnection(VendorServer *server, QTcpSocket *socket)
        : QObject(socket), m_server(server), m_socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            endStream();
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
            if (m_stream) {
                // The viewer went away (or the link broke): nothing more to send.
                endStream();
                socket->abort();
            }
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
    }

    ~VendorConnection() override { endStream(); }

    void drop()
    {
        endStream();
        m_socket->abort();
        m_socket->deleteLater();
    }

private:
    enum class State { Head, Body, Done };

    void onReadyRead()
    {
        QByteArray data = m_socket->readAll();
        switch (m_state) {
        case State::Done:
            return; // one request per connection; anything more is ignored
        case State::Body:
            drain(data.size());
            return;
        case State::Head:
            break;
        }
        m_buffer += data;
        if (m_scanPos == 0) {
            // A stray CRLF before the request line is allowed.
            qsizetype i = 0;
            while (i < m_buffer.size() && (m_buffer[i] == '\r' || m_buffer[i] == '\n'))
                ++i;
            m_buffer.remove(0, i);
        }
        qsizetype headEnd = -1, bodyStart = -1;
        qsizetype pos = m_scanPos;
        while (true) {
            const qsizetype nl = m_buffer.indexOf('\n', pos);
            if (nl < 0)
                break;
            const qsizetype len = (nl > pos && m_buffer[nl - 1] == '\r') ? nl - 1 - pos : nl - pos;
            if (len == 0 && pos > 0) {
                headEnd = pos;
                bodyStart = nl + 1;
                break;
            }
            pos = nl + 1;
        }
        if (headEnd < 0) {
            m_scanPos = pos;
            if (m_buffer.size() > kMaxHeadBytes)
                fail();
            return;
        }
        if (headEnd > kMaxHeadBytes) {
            fail();
            return;
        }
        qint64 contentLength = 0;
        VendorServer::Request request;
        if (!parseHead(m_buffer.left(headEnd), request, contentLength)) {
            fail();
            return;
        }
        const qint64 already = m_buffer.size() - bodyStart;
        m_buffer.clear();
        m_request = request;
        m_state = State::Body;
        m_bodyLeft = contentLength;
        QPointer<VendorConnection> self(this);
        m_server->recordRequest(request);
        if (!self)
            return;
        drain(already);
    }

    void drain(qint64 n)
    {
        m_bodyLeft -= std::min(n, m_bodyLeft);
        if (m_bodyLeft > 0)
            return;
        m_state = State::Done;
        dispatch();
    }

    void dispatch()
    {
        const auto it = m_server->m_routes.constFind(QString::fromUtf8(m_request.path));
        if (it != m_server->m_routes.constEnd()) {
            answerLater(*it);
        } else if (m_server->m_hasFallback) {
            answerLater(m_server->m_fallback);
        } else if (!serveLive()) {
            serveFile();
        }
    }

    void answerLater(const VendorServer::Response &r)
    {
        if (r.neverAnswer)
            return;
        if (r.delayMs > 0)
            QTimer::singleShot(r.delayMs, this, [this, r] { answer(r); });
        else
            answer(r);
    }

    void answer(const VendorServer::Response &r)
    {
        if (r.closeWithoutAnswer) {
            m_socket->disconnectFromHost();
            return;
        }
        if (!r.endless.isEmpty()) {
            m_socket->write(head(r.status, {{"Content-Type", r.contentType}}, -1) + r.body);
            startStream(std::make_unique<Repeated>(r.endless));
            return;
        }
        VendorServer::Headers headers;
        if (!r.contentType.isEmpty())
            headers.append({"Content-Type", r.contentType});
        for (const auto &h : r.headers) {
            if (!isFramingHeader(h.first))
                headers.append(h);
        }
        sendWhole(r.status, headers, r.body);
    }

    QByteArray head(int status, const VendorServer::Headers &headers, qint64 length) const
    {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' '
            + VendorServer::reasonPhrase(status) + "\r\n";
        for (const auto &h : headers)
            out += h.first + ": " + h.second + "\r\n";
        if (length >= 0 && status >= 200 && status != 204)
            out += "Content-Length: " + QByteArray::number(hasBody(status) ? length : 0) + "\r\n";
        out += "Connection: close\r\n\r\n";
        return out;
    }

    bool isHead() const { return m_request.method == "HEAD"; }

    void sendWhole(int status, const VendorServer::Headers &headers, const QByteArray &body)
    {
        m_socket->write(head(status, headers, body.size()));
        if (!isHead() && hasBody(status))
            m_socket->write(body);
        m_socket->disconnectFromHost();
    }

    void fail()
    {
        m_state = State::Done;
        m_buffer.clear();
        sendWhole(400, {{"Content-Type", "text/html; charset=utf-8"}},
            "<html><body><h1>400 请求错误</h1></body></html>\n");
    }

    void notFound()
    {
        sendWhole(404, {{"Content-Type", "text/html; charset=utf-8"}},
            "<html><body><h1>404 未找到</h1><p>找不到所请求的页面：" + htmlEscape(m_request.path)
                + "</p></body></html>\n");
    }

    // False when the path is no live channel or its media is missing.
    bool serveLive()
    {
        const QByteArray &path = m_request.path;
        if (path == "/live.php")
            return servePrintedPlaylist();
        const auto hls = std::find_if(std::begin(kHlsChannels), std::end(kHlsChannels),
            [&](const HlsChannel &c) { return path.startsWith(c.prefix); });
        if (hls != std::end(kHlsChannels))
            return serveHls(*hls);
        const auto channel = std::find_if(std::begin(kLiveChannels), std::end(kLiveChannels),
            [&](const LiveChannel &c) { return path == c.path; });
        if (channel == std::end(kLiveChannels))
            return false;
        const auto source = m_server->loopSource(QString::fromLatin1(channel->file));
        if (!source)
            return false;
        VendorServer::Headers headers = {{"Content-Type", channel->contentType}};
        if (channel->noCache)
            headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-cache")));
        // No length: the body ends when the connection does.
        m_socket->write(head(200, headers, -1));
        if (isHead()) {
            m_socket->disconnectFromHost();
            return true;
        }
        startStream(source->open(m_server->liveClockMs()));
        return true;
    }

    bool serveHls(const HlsChannel &channel)
    {
        const QString folder = QString::fromLatin1(channel.folder);
        QList<LiveMedia::HlsSegment> segments = m_server->liveSegments(folder);
        const QByteArray name = m_request.path.mid(channel.prefix.size());
        if (segments.isEmpty() || (channel.onCdn && (!m_server->m_cdn || name != "index.m3u8")))
            return false;
        // As a hotlink guard compares it: the whole home page address, nothing looser.
        if (channel.guarded
            && m_request.header("Referer") != m_server->siteOrigin(m_request) + '/') {
            sendWhole(403, {{"Content-Type", "text/html; charset=utf-8"}},
                "<html><body><h1>403 禁止访问</h1></body></html>\n");
            return true;
        }
        if (name == "index.m3u8") {
            if (channel.onCdn) {
                const QByteArray base
                    = m_server->m_cdn->baseUrl().toUtf8() + "/live/" + channel.folder + '/';
                for (LiveMedia::HlsSegment &s : segments)
                    s.uri.prepend(base);
            }
            sendWhole(200,
                {{"Content-Type", "application/vnd.apple.mpegurl"}, {"Cache-Control", "no-cache"}},
                LiveMedia::livePlaylist(segments, m_server->liveClockMs()));
            return true;
        }
        const bool listed = std::any_of(segments.begin(), segments.end(),
            [&](const LiveMedia::HlsSegment &s) { return s.uri == name; });
        if (!listed)
            return false;
        serveFile(m_server->liveDir() + '/' + folder + '/' + QString::fromUtf8(name));
        return true;
    }

    // A script that prints the live playlist itself, under its language's
    // default type, naming the segments from the site's root.
    bool servePrintedPlaylist()
    {
        QList<LiveMedia::HlsSegment> segments = m_server->liveSegments(QStringLiteral("hls"));
        if (segments.isEmpty())
            return false;
        for (LiveMedia::HlsSegment &s : segments)
            s.uri.prepend("/live/hls/");
        sendWhole(200, {{"Content-Type", "text/html; charset=UTF-8"}},
            LiveMedia::livePlaylist(segments, m_server->liveClockMs()));
        return true;
    }

    void startStream(std::unique_ptr<LiveMedia::Stream> stream)
    {
        m_stream = std::move(stream);
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_pace = new QTimer(this);
        m_pace->setSingleShot(true);
        m_pace->setTimerType(Qt::PreciseTimer);
        connect(m_pace, &QTimer::timeout, this, [this] { pump(); });
        m_server->m_streams.insert(this);
        m_streamClock.start();
        pump();
    }

    void endStream()
    {
        if (!m_stream)
            return;
        m_stream.reset();
        m_pace->stop();
        m_server->m_streams.remove(this);
    }

    // Sends what is due; when ahead, sleeps until the next chunk is; when the viewer lags,
    // waits for bytesWritten rather than piling data up.
    void pumpStream()
    {
        while (m_socket->bytesToWrite() < kStreamBacklogBytes) {
            if (!m_haveChunk) {
                m_chunk = m_stream->next();
                m_haveChunk = true;
            }
            const qint64 wait = m_chunk.dueMs - m_streamClock.elapsed();
            if (wait > 0) {
                m_pace->start(int(std::min<qint64>(wait, 60 * 1000)));
                return;
            }
            m_socket->write(m_chunk.bytes);
            m_server->m_streamed += m_chunk.bytes.size();
            m_haveChunk = false;
        }
    }

    void serveFile(const QString &resolved = {})
    {
        const QString path = resolved.isEmpty() ? m_server->resolveFile(m_request.path) : resolved;
        if (path.isEmpty()) {
            notFound();
            return;
        }
        auto *file = new QFile(path, this);
        if (!file->open(QIODevice::ReadOnly)) {
            delete file;
            notFound();
            return;
        }
        VendorServer::Headers headers = {
            {"Content-Type", VendorServer::contentTypeForFile(path)}, {"Accept-Ranges", "bytes"}};
        if (isText(path))
            headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-cache")));

        QByteArray whole;
        const bool templated = isTemplated(path) && file->size() <= kMaxTemplatedBytes;
        qint64 size = file->size();
        if (templated) {
            whole = file->readAll();
            const QByteArray origin = m_server->siteOrigin(m_request);
            // For addresses inside a value, as IPTV lists carry a Referer after '|'.
            whole.replace("@SITE_ENCODED@", QUrl::toPercentEncoding(QString::fromUtf8(origin)));
            whole.replace("@SITE@", origin);
            size = whole.size();
            delete file;
            file = nullptr;
        }

        qint64 start = 0, end = size - 1;
        int status = 200;
        switch (parseRange(m_request.header("Range"), size, start, end)) {
        case RangeResult::None:
            break;
        case RangeResult::Partial:
            status = 206;
            headers.append(qMakePair(QByteArray("Content-Range"),
                "bytes " + QByteArray::number(start) + '-' + QByteArray::number(end) + '/'
                    + QByteArray::number(size)));
            break;
        case RangeResult::Unsatisfiable:
            delete file;
            headers.append(
                qMakePair(QByteArray("Content-Range"), "bytes */" + QByteArray::number(size)));
            sendWhole(416, headers, {});
            return;
        }
        const qint64 length = size > 0 ? end - start + 1 : 0;

        if (templated) {
            sendWhole(status, headers, whole.mid(start, length));
            return;
        }
        m_socket->write(head(status, headers, length));
        if (isHead() || length == 0 || !file->seek(start)) {
            delete file;
            m_socket->disconnectFromHost();
            return;
        }
        m_file = file;
        m_fileLeft = length;
        pump();
    }

    // Keeps a bounded amount queued so big files never sit in memory whole.
    void pump()
    {
        if (m_stream) {
            pumpStream();
            return;
        }
        if (!m_file)
            return;
        while (m_fileLeft > 0 && m_socket->bytesToWrite() < 2 * kChunkBytes) {
            const QByteArray chunk = m_file->read(std::min(kChunkBytes, m_fileLeft));
            if (chunk.isEmpty()) {
                // The file shrank under us; the promised length cannot be met.
                delete m_file;
                m_file = nullptr;
                m_socket->abort();
                return;
            }
            m_socket->write(chunk);
            m_fileLeft -= chunk.size();
        }
        if (m_fileLeft == 0) {
            delete m_file;
            m_file = nullptr;
            m_socket->disconnectFromHost();
        }
    }

    VendorServer *m_server;
    QTcpSocket *m_socket;
    State m_state = State::Head;
    QByteArray m_buffer;
    qsizetype m_scanPos = 0;
    qint64 m_bodyLeft = 0;
    VendorServer::Request m_request;
    QFile *m_file = nullptr;
    qint64 m_fileLeft = 0;
    std::unique_ptr<LiveMedia::Stream> m_stream;
    LiveMedia::Chunk m_chunk;
    bool m_haveChunk = false;
    QElapsedTimer m_streamClock;
    QTimer *m_pace = nullptr;
};

bool VendorServer::Request::hasHeader(const QByteArray &name) const
{
    return std::any_of(headers.begin(), headers.end(),
        [&](const auto &h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
}

QByteArray VendorServer::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

VendorServer::VendorServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &VendorServer::onNewConnection);
    m_liveStart.start();
}

VendorServer::~VendorServer()
{
    m_server->close();
    // Drop live connections first so none of their handlers runs against a half-destroyed server.
    const auto sockets = m_server->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket *s : sockets) {
        s->disconnect();
        s->abort();
        delete s;
    }
}

void VendorServer::setRoot(const QString &dir)
{
    m_root = dir.isEmpty() ? QString() : QDir(dir).absolutePath();
    m_loops.clear();
    m_segments.clear();
    if (m_cdn)
        m_cdn->setRoot(m_root);
}

VendorServer *VendorServer::startCdn(quint16 port)
{
    if (!m_cdn) {
        m_cdn = new VendorServer(this);
        m_cdn->setRoot(m_root);
    }
    if (m_cdn->isListening() || m_cdn->listen(port))
        return m_cdn;
    delete m_cdn;
    m_cdn = nullptr;
    return nullptr;
}

QString VendorServer::root() const
{
    return m_root;
}

void VendorServer::setRoute(const QString &path, const Response &r)
{
    m_routes.insert(path, r);
}

void VendorServer::removeRoute(const QString &path)
{
    m_routes.remove(path);
}

void VendorServer::clearRoutes()
{
    m_routes.clear();
}

void VendorServer::setFallback(const Response &r)
{
    m_fallback = r;
    m_hasFallback = true;
}

void VendorServer::clearFallback()
{
    m_fallback = Response();
    m_hasFallback = false;
}

bool VendorServer::listen(quint16 port)
{
    if (m_server->isListening())
        m_server->close();
    return m_server->listen(QHostAddress::LocalHost, port);
}

void VendorServer::close()
{
    m_server->close();
}

bool VendorServer::isListening() const
{
    return m_server->isListening();
}

quint16 VendorServer::port() const
{
    return m_server->serverPort();
}

QString VendorServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

QList<VendorServer::Request> VendorServer::requests() const
{
    return m_requests;
}

void VendorServer::clearRequests()
{
    m_requests.clear();
}

QByteArray VendorServer::reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 410:
        return "Gone";
    case 416:
        return "Range Not Satisfiable";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Unknown";
    }
}

QByteArray VendorServer::contentTypeForFile(const QString &fileName)
{
    static const QHash<QString, QByteArray> types = {
        {"htm", "text/html; charset=utf-8"},
        {"html", "text/html; charset=utf-8"},
        {"asp", "text/html; charset=utf-8"},
        {"txt", "text/plain; charset=utf-8"},
        {"js", "application/javascript"},
        {"css", "text/css; charset=utf-8"},
        {"json", "application/json"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"svg", "image/svg+xml"},
        {"ico", "image/x-icon"},
        {"mp4", "video/mp4"},
        {"webm", "video/webm"},
        {"m3u8", "application/vnd.apple.mpegurl"},
        {"ts", "video/mp2t"},
    };
    return types.value(lowerSuffix(fileName), "application/octet-stream");
}

void VendorServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        new VendorConnection(this, socket);
}

QString VendorServer::resolveFile(const QByteArray &rawPath) const
{
    if (m_root.isEmpty())
        return {};
    const QByteArray decoded = QByteArray::fromPercentEncoding(rawPath);
    if (!decoded.startsWith('/') || decoded.contains('\\') || decoded.contains('\0'))
        return {};
    QString rel = QString::fromUtf8(decoded.mid(1));
    if (rel.startsWith('/'))
        return {};
    const QStringList segments = rel.split('/');
    for (const QString &seg : segments) {
        if (seg == ".." || seg == "." || seg.contains(':'))
            return {};
    }
    if (rel.isEmpty() || rel.endsWith('/'))
        rel += QStringLiteral("index.htm");

    const QDir root(m_root);
    auto existing = [](const QString &p) -> QString {
        QFileInfo fi(p);
        if (fi.isDir())
            fi.setFile(p + QStringLiteral("/index.htm"));
        return fi.isFile() && fi.isReadable() ? fi.absoluteFilePath() : QString();
    };
    QString found = existing(root.filePath(rel));
    // hls.js comes from npm, so /js/ falls back to its dist folder.
    if (found.isEmpty() && rel.startsWith(QStringLiteral("js/")))
        found = existing(root.filePath(QStringLiteral("node_modules/hls.js/dist/") + rel.mid(3)));
    return found;
}

QByteArray VendorServer::siteOrigin(const Request &request) const
{
    const QByteArray host = request.header("Host");
    const bool sane = !host.isEmpty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
    return sane ? "http://" + host : baseUrl().toUtf8();
}

void VendorServer::recordRequest(const Request &request)
{
    m_requests.append(request);
    emit requestReceived(request);
}

void VendorServer::dropStreams()
{
    const QList<VendorConnection *> streams = m_streams.values();
    for (VendorConnection *c : streams)
        c->drop();
}

int VendorServer::openStreamCount() const
{
    return int(m_streams.size());
}

qint64 VendorServer::liveClockMs() const
{
    return m_liveClock ? m_liveClock() : m_liveStart.elapsed();
}

void VendorServer::setLiveClock(std::function<qint64()> clockMs)
{
    m_liveClock = std::move(clockMs);
}

QString VendorServer::liveDir() const
{
    return m_root.isEmpty() ? QString() : m_root + QStringLiteral("/media/live");
}

std::shared_ptr<const LiveMedia::LoopSource> VendorServer::loopSource(const QString &fileName)
{
    if (m_root.isEmpty())
        return {};
    if (const auto it = m_loops.constFind(fileName); it != m_loops.constEnd())
        return *it;
    // Only a good read is kept, so media made after start-up is picked up.
    QFile file(liveDir() + '/' + fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxLiveClipBytes)
        return {};
    const QByteArray data = file.readAll();
    auto source = fileName.endsWith(QStringLiteral(".flv")) ? LiveMedia::LoopSource::fromFlv(data)
                                                            : LiveMedia::LoopSource::fromTs(data);
    if (source)
        m_loops.insert(fileName, source);
    return source;
}

QList<LiveMedia::HlsSegment> VendorServer::liveSegments(const QString &folder)
{
    if (const auto it = m_segments.constFind(folder); it != m_segments.constEnd())
        return *it;
    if (m_root.isEmpty())
        return {};
    const QDir dir(liveDir() + '/' + folder);
    QFile list(dir.filePath(QStringLiteral("source.m3u8")));
    if (!list.open(QIODevice::ReadOnly))
        return {};
    const QList<LiveMedia::HlsSegment> segments = LiveMedia::parseMediaPlaylist(list.readAll());
    for (const LiveMedia::HlsSegment &s : segments) {
        // Plain names next to the list only; anything else is not ours to serve.
        const QString name = QString::fromUtf8(s.uri);
        if (name.contains('/') || name.contains('\\') || name.startsWith('.')
            || !QFileInfo(dir.filePath(name)).isFile())
            return {};
    }
    if (!segments.isEmpty())
        m_segments.insert(folder, segments);
    return segments;
}
