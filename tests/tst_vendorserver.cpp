#include "datagramsender.h"
#include "vendorserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

namespace {

struct Fetched {
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray reason;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;
    bool finished = false;

    bool has(const QByteArray &name) const
    {
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        return {};
    }
};

struct RawReply {
    QByteArray statusLine;
    QByteArray head;
    QByteArray body;
    QByteArray all;
};

RawReply splitRaw(const QByteArray &all)
{
    RawReply r;
    r.all = all;
    const qsizetype end = all.indexOf("\r\n\r\n");
    r.head = end >= 0 ? all.left(end) : all;
    r.body = end >= 0 ? all.mid(end + 4) : QByteArray();
    r.statusLine = r.head.left(r.head.indexOf("\r\n"));
    return r;
}

// Exact bytes on the wire, for what QNetworkAccessManager would normalise away.
RawReply rawExchange(quint16 port, const QByteArray &request, int timeoutMs = 5000)
{
    QTcpSocket socket;
    QObject context;
    QByteArray got;
    QObject::connect(&socket, &QTcpSocket::readyRead, &context, [&] { got += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor(
            [&] { return socket.state() == QAbstractSocket::ConnectedState; }, timeoutMs))
        return {};
    socket.write(request);
    (void)QTest::qWaitFor(
        [&] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    got += socket.readAll();
    return splitRaw(got);
}

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}

QByteArray pattern(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char('0' + i % 10);
    return out;
}

VendorServer::Response textResponse(int status, const QByteArray &body)
{
    VendorServer::Response r;
    r.status = status;
    r.body = body;
    return r;
}

// ---- Live channels: readers of our own, so the server's parsers are not trusted twice.

const QString kLiveDir = QStringLiteral(SITE_DIR "/media/live");

bool haveLiveMedia()
{
    const auto has = [](const char *file) { return QFileInfo::exists(kLiveDir + '/' + file); };
    return has("14.flv") && has("15.ts") && has("17.ts") && has("18.ts") && has("hls/source.m3u8")
        && has("hevc/source.m3u8");
}

#define REQUIRE_LIVE_MEDIA()                                                                       \
    do {                                                                                           \
        if (!haveLiveMedia())                                                                      \
            QSKIP("live media missing: run site/make-media.sh");                                   \
    } while (false)

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint32 be(const QByteArray &d, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | uchar(d[at + i]);
    return v;
}

struct FlvTag {
    int type = 0;
    qint64 time = 0;
    QByteArray body;
    qsizetype offset = 0;

    bool isMedia() const { return (type == 8 || type == 9) && body.size() > 1 && body[1] != 0; }
    bool isConfig() const { return (type == 8 || type == 9) && body.size() > 1 && body[1] == 0; }
    bool isKeyframe() const { return type == 9 && !body.isEmpty() && (uchar(body[0]) >> 4) == 1; }
};

// Whole tags only; a tail cut off by the reader is left out.
QList<FlvTag> flvTags(const QByteArray &d)
{
    QList<FlvTag> tags;
    if (d.size() < 13 || !d.startsWith("FLV"))
        return tags;
    for (qsizetype pos = be(d, 5, 4) + 4; pos + 11 <= d.size();) {
        const qsizetype size = be(d, pos + 1, 3);
        if (pos + 11 + size + 4 > d.size())
            break;
        FlvTag t;
        t.type = d[pos] & 0x1f;
        t.time = be(d, pos + 4, 3) | qint64(uchar(d[pos + 7])) << 24;
        t.body = d.mid(pos + 11, size);
        t.offset = pos;
        if (be(d, pos + 11 + size, 4) != quint32(11 + size))
            return {}; // a broken back pointer makes the rest unreadable
        tags.append(t);
        pos += 11 + size + 4;
    }
    return tags;
}

struct TsPacket {
    int pid = 0;
    bool unitStart = false, payload = false, randomAccess = false;
    int cc = 0;
    qint64 pcr = -1; // 27 MHz
    qint64 pts = -1, dts = -1;
    qsizetype offset = 0;
};

qint64 tsTime(const QByteArray &d, qsizetype at)
{
    const auto b = [&](int i) { return qint64(uchar(d[at + i])); };
    return ((b(0) >> 1) & 7) << 30 | b(1) << 22 | (b(2) >> 1) << 15 | b(3) << 7 | b(4) >> 1;
}

// Whole packets only; a PES header is looked for in every unit start.
QList<TsPacket> tsPackets(const QByteArray &d)
{
    QList<TsPacket> out;
    for (qsizetype at = 0; at + 188 <= d.size(); at += 188) {
        if (d[at] != 0x47)
            return {};
        TsPacket p;
        p.offset = at;
        p.pid = (uchar(d[at + 1]) & 0x1f) << 8 | uchar(d[at + 2]);
        p.unitStart = uchar(d[at + 1]) & 0x40;
        p.payload = uchar(d[at + 3]) & 0x10;
        p.cc = uchar(d[at + 3]) & 0x0f;
        qsizetype payloadAt = at + 4;
        if (uchar(d[at + 3]) & 0x20) {
            const int length = uchar(d[at + 4]);
            if (length > 0) {
                const int flags = uchar(d[at + 5]);
                p.randomAccess = flags & 0x40;
                if (flags & 0x10) {
                    const qint64 base = qint64(be(d, at + 6, 4)) << 1 | (uchar(d[at + 10]) >> 7);
                    p.pcr = base * 300 + ((uchar(d[at + 10]) & 1) << 8 | uchar(d[at + 11]));
                }
            }
            payloadAt += 1 + length;
        }
        if (p.unitStart && p.payload && payloadAt + 19 <= at + 188 && d[payloadAt] == 0
            && d[payloadAt + 1] == 0 && d[payloadAt + 2] == 1 && p.pid != 0) {
            const int flags = uchar(d[payloadAt + 7]);
            if (flags & 0x80)
                p.pts = tsTime(d, payloadAt + 9);
            p.dts = (flags & 0xc0) == 0xc0 ? tsTime(d, payloadAt + 14) : p.pts;
        }
        out.append(p);
    }
    return out;
}

// What a viewer would be sent, with when each byte was due.
struct Pulled {
    QByteArray bytes;
    std::map<qsizetype, qint64> due; // chunk start offset -> due ms

    qint64 dueAt(qsizetype offset) const { return std::prev(due.upper_bound(offset))->second; }
};

Pulled pull(LiveMedia::Stream &stream, qint64 untilDueMs)
{
    Pulled p;
    while (true) {
        const LiveMedia::Chunk c = stream.next();
        if (c.bytes.isEmpty())
            break;
        p.due[p.bytes.size()] = c.dueMs;
        p.bytes += c.bytes;
        if (c.dueMs > untilDueMs)
            break;
    }
    return p;
}

// Largest step between consecutive frames of each track in the clip itself.
template<typename T, typename Key, typename Time>
std::map<int, qint64> largestSteps(const QList<T> &items, Key key, Time time)
{
    std::map<int, qint64> last, steps;
    for (const T &item : items) {
        const int k = key(item);
        const qint64 t = time(item);
        if (k < 0 || t < 0)
            continue;
        if (last.count(k))
            steps[k] = std::max(steps[k], t - last[k]);
        last[k] = t;
    }
    return steps;
}

// Reads for `ms` (or until the server closes), then hangs up.
RawReply readFor(quint16 port, const QByteArray &request, int ms, bool *stillOpen = nullptr)
{
    QTcpSocket socket;
    QObject context;
    QByteArray got;
    QObject::connect(&socket, &QTcpSocket::readyRead, &context, [&] { got += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 5000))
        return {};
    socket.write(request);
    (void)QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    got += socket.readAll();
    if (stillOpen)
        *stillOpen = socket.state() == QAbstractSocket::ConnectedState;
    socket.abort();
    return splitRaw(got);
}

QByteArray headerOf(const RawReply &r, const QByteArray &name)
{
    for (const QByteArray &line : r.head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QList<QByteArray> headerNames(const RawReply &r)
{
    QList<QByteArray> names;
    for (const QByteArray &line : r.head.split('\n').mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            names.append(line.left(colon).trimmed().toLower());
    }
    return names;
}

// A client that holds an endless stream open and keeps what arrives.
struct Viewer {
    QTcpSocket socket;
    QByteArray got;
    QObject context;

    explicit Viewer(quint16 port, const QByteArray &path)
    {
        QObject::connect(
            &socket, &QTcpSocket::readyRead, &context, [this] { got += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write("GET " + path + " HTTP/1.1\r\nHost: h\r\n\r\n");
    }
    qsizetype bodySize() const
    {
        const qsizetype end = got.indexOf("\r\n\r\n");
        return end < 0 ? 0 : got.size() - end - 4;
    }
};

} // namespace

class TestVendorServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void routes_data();
    void routes();
    void statusLines_data();
    void statusLines();
    void routeBeatsFileAndCanBeRemoved();
    void fallback();
    void extraHeadersAndFraming();
    void delayDoesNotBlock();
    void neverAnswer();
    void closeWithoutAnswer();

    void fileTypes_data();
    void fileTypes();
    void notFound();
    void traversal_data();
    void traversal();
    void ranges_data();
    void ranges();
    void largeFileAndRange();
    void head();
    void templating_data();
    void templating();
    void jsFallsBackToHlsDist();

    void recordsRequests();
    void drainsRequestBody();
    void malformed_data();
    void malformed();
    void largeRouteBody();
    void destroyWithOpenConnections();

    void parseMediaPlaylist_data();
    void parseMediaPlaylist();
    void livePlaylist_data();
    void livePlaylist();
    void livePlaylistFollowsServerClock();
    void flvLoop_data();
    void flvLoop();
    void tsLoop_data();
    void tsLoop();
    void liveRoutes_data();
    void liveRoutes();
    void liveRoutesNeedMedia();
    void streamCrossesLoopOnTheWire_data();
    void streamCrossesLoopOnTheWire();
    void dropStreams();
    void viewerLeaves_data();
    void viewerLeaves();
    void guardedAndCdn_data();
    void guardedAndCdn();
    void datagrams_data();
    void datagrams();

private:
    Fetched fetch(const QString &path, const QByteArray &verb = "GET",
        const VendorServer::Headers &headers = {}, const QByteArray &body = {},
        int transferTimeoutMs = 0);

    QTemporaryDir m_dir;
    QString m_root;
    QByteArray m_bigFile;
    std::unique_ptr<VendorServer> m_server;
    QNetworkAccessManager m_nam;
};

Fetched TestVendorServer::fetch(const QString &path, const QByteArray &verb,
    const VendorServer::Headers &headers, const QByteArray &body, int transferTimeoutMs)
{
    QNetworkRequest request(QUrl(m_server->baseUrl() + path));
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    for (const auto &h : headers)
        request.setRawHeader(h.first, h.second);
    QNetworkReply *reply
        = verb == "HEAD" ? m_nam.head(request) : m_nam.sendCustomRequest(request, verb, body);
    QSignalSpy spy(reply, &QNetworkReply::finished);
    Fetched f;
    f.finished = reply->isFinished() || spy.wait(30000);
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    f.error = reply->error();
    if (reply->isOpen())
        f.body = reply->readAll();
    f.headers = reply->rawHeaderPairs();
    reply->deleteLater();
    return f;
}

void TestVendorServer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = m_dir.filePath(QStringLiteral("root"));
    const QString r = m_root + '/';
    writeFile(m_dir.filePath(QStringLiteral("secret.txt")), "top secret");
    writeFile(r + "index.htm", "<p>首页 @SITE@/index.htm</p>");
    writeFile(r + "a.htm", "<a href=\"@SITE@/x\">@SITE@</a>");
    writeFile(r + "b.html", "<p>b</p>");
    writeFile(r + "c.txt", "栎川一台;@SITE@/tv/01.htm\r\n");
    writeFile(r + "p.txt", "台;@SITE@/a|Referer=@SITE_ENCODED@%2F");
    writeFile(r + "d.asp", "<form>@SITE@</form>");
    writeFile(r + "e.js", "var site = '@SITE@';");
    writeFile(r + "f.css", "body{}");
    writeFile(r + "g.png", "\x89PNG");
    writeFile(r + "h.jpg", "\xff\xd8\xff");
    writeFile(r + "i.svg", "<svg/>");
    writeFile(r + "j.mp4", "mp4data");
    writeFile(r + "k.webm", "webmdata");
    writeFile(r + "l.m3u8", "#EXTM3U\n@SITE@/seg.ts\n");
    writeFile(r + "m.ts", "tsdata");
    writeFile(r + "n.ico", "ico");
    writeFile(r + "o.bin", "bin");
    writeFile(r + "range.bin", pattern(100));
    writeFile(r + "sub/index.htm", "sub index");
    writeFile(r + "sub/file.txt", "sub file");
    writeFile(r + "中文.txt", "中文");
    writeFile(r + "node_modules/hls.js/dist/hls.min.js", "/* hls */");
    writeFile(r + "node_modules/hls.js/dist/other.js", "/* dist other */");
    writeFile(r + "js/other.js", "/* own other */");
    m_bigFile = pattern(3 * 1024 * 1024 + 7);
    writeFile(r + "big.mp4", m_bigFile);
}

void TestVendorServer::init()
{
    m_server = std::make_unique<VendorServer>();
    m_server->setRoot(m_root);
    QVERIFY(m_server->listen());
    QVERIFY(m_server->port() != 0);
    QCOMPARE(m_server->baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(m_server->port()));
}

void TestVendorServer::routes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("plain") << 200 << QByteArray("text/plain") << QByteArray("hello");
    QTest::newRow("html utf-8") << 200 << QByteArray("text/html; charset=utf-8")
                                << QByteArray("<p>你好</p>");
    QTest::newRow("json") << 200 << QByteArray("application/json") << QByteArray("{\"a\":1}");
    QTest::newRow("empty body") << 200 << QByteArray("text/plain") << QByteArray();
    QTest::newRow("no content type") << 200 << QByteArray() << QByteArray("raw");
    QTest::newRow("404") << 404 << QByteArray("text/plain") << QByteArray("gone");
    QTest::newRow("500") << 500 << QByteArray("text/plain") << QByteArray("boom");
    QTest::newRow("503") << 503 << QByteArray("text/html") << QByteArray("busy");
}

void TestVendorServer::routes()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);

    VendorServer::Response r = textResponse(status, body);
    r.contentType = contentType;
    m_server->setRoute(QStringLiteral("/route"), r);

    const Fetched f = fetch(QStringLiteral("/route?x=1"));
    QVERIFY(f.finished);
    QCOMPARE(f.status, status);
    QCOMPARE(f.reason, VendorServer::reasonPhrase(status));
    QCOMPARE(f.body, body);
    QCOMPARE(f.has("Content-Type"), !contentType.isEmpty());
    QCOMPARE(f.header("Content-Type"), contentType);
    QCOMPARE(f.header("Content-Length"), QByteArray::number(body.size()));
    QCOMPARE(f.header("Connection"), QByteArray("close"));
}

void TestVendorServer::statusLines_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("200") << 200 << QByteArray("HTTP/1.1 200 OK");
    QTest::newRow("206") << 206 << QByteArray("HTTP/1.1 206 Partial Content");
    QTest::newRow("301") << 301 << QByteArray("HTTP/1.1 301 Moved Permanently");
    QTest::newRow("302") << 302 << QByteArray("HTTP/1.1 302 Found");
    QTest::newRow("304") << 304 << QByteArray("HTTP/1.1 304 Not Modified");
    QTest::newRow("400") << 400 << QByteArray("HTTP/1.1 400 Bad Request");
    QTest::newRow("404") << 404 << QByteArray("HTTP/1.1 404 Not Found");
    QTest::newRow("500") << 500 << QByteArray("HTTP/1.1 500 Internal Server Error");
    QTest::newRow("503") << 503 << QByteArray("HTTP/1.1 503 Service Unavailable");
}

void TestVendorServer::statusLines()
{
    QFETCH(int, status);
    QFETCH(QByteArray, line);

    m_server->setRoute(QStringLiteral("/s"), textResponse(status, "body"));
    const RawReply r = rawExchange(m_server->port(), "GET /s HTTP/1.1\r\nHost: x\r\n\r\n");
    QCOMPARE(r.statusLine, line);
    QVERIFY(r.head.contains("\r\nConnection: close"));
    // 304 never carries a body.
    QCOMPARE(r.body, status == 304 ? QByteArray() : QByteArray("body"));
}

void TestVendorServer::routeBeatsFileAndCanBeRemoved()
{
    m_server->setRoute(QStringLiteral("/b.html"), textResponse(200, "routed"));
    QCOMPARE(fetch(QStringLiteral("/b.html")).body, QByteArray("routed"));

    m_server->removeRoute(QStringLiteral("/b.html"));
    const Fetched f = fetch(QStringLiteral("/b.html"));
    QCOMPARE(f.status, 200);
    QCOMPARE(f.body, QByteArray("<p>b</p>"));

    VendorServer::Response redirect = textResponse(302, {});
    redirect.headers = {{"Location", "/b.html"}};
    m_server->setRoute(QStringLiteral("/go"), redirect);
    const Fetched g = fetch(QStringLiteral("/go"));
    QCOMPARE(g.status, 302);
    QCOMPARE(g.header("Location"), QByteArray("/b.html"));
}

void TestVendorServer::fallback()
{
    m_server->setFallback(textResponse(503, "maintenance"));
    m_server->setRoute(QStringLiteral("/ok"), textResponse(200, "ok"));

    for (const QString &path :
        {QStringLiteral("/"), QStringLiteral("/b.html"), QStringLiteral("/missing")}) {
        const Fetched f = fetch(path);
        QCOMPARE(f.status, 503);
        QCOMPARE(f.body, QByteArray("maintenance"));
    }
    QCOMPARE(fetch(QStringLiteral("/ok")).body, QByteArray("ok"));

    m_server->clearFallback();
    QCOMPARE(fetch(QStringLiteral("/b.html")).status, 200);
    QCOMPARE(fetch(QStringLiteral("/missing")).status, 404);
}

void TestVendorServer::extraHeadersAndFraming()
{
    VendorServer::Response r = textResponse(200, "12345");
    r.headers = {{"X-Extra", "yes"}, {"Content-Length", "999"}, {"Connection", "keep-alive"}};
    m_server->setRoute(QStringLiteral("/h"), r);

    const RawReply raw = rawExchange(m_server->port(), "GET /h HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(raw.head.contains("\r\nX-Extra: yes\r\n"));
    QVERIFY(raw.head.contains("\r\nContent-Length: 5\r\n"));
    QVERIFY(!raw.head.contains("999"));
    QVERIFY(!raw.head.contains("keep-alive"));
    QCOMPARE(raw.body, QByteArray("12345"));
}

void TestVendorServer::delayDoesNotBlock()
{
    VendorServer::Response r = textResponse(200, "late");
    r.delayMs = 400;
    m_server->setRoute(QStringLiteral("/slow"), r);

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);

    QElapsedTimer clock;
    clock.start();
    const Fetched f = fetch(QStringLiteral("/slow"));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(f.body, QByteArray("late"));
    QVERIFY2(elapsed >= 380, qPrintable(QString::number(elapsed)));
    QVERIFY2(ticks >= 5, "event loop stalled during the delay");
    QCOMPARE(m_server->requests().size(), 1);
}

void TestVendorServer::neverAnswer()
{
    VendorServer::Response r;
    r.neverAnswer = true;
    m_server->setRoute(QStringLiteral("/hang"), r);

    QElapsedTimer clock;
    clock.start();
    const Fetched f = fetch(QStringLiteral("/hang"), "GET", {}, {}, 500);
    QVERIFY(f.finished);
    QVERIFY2(
        f.error == QNetworkReply::OperationCanceledError || f.error == QNetworkReply::TimeoutError,
        qPrintable(QString::number(f.error)));
    QVERIFY(clock.elapsed() >= 450);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().path, QByteArray("/hang"));

    // The socket really stays open and silent.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_server->port());
    QTRY_COMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.write("GET /hang HTTP/1.1\r\nHost: x\r\n\r\n");
    QTRY_COMPARE(m_server->requests().size(), 2);
    QVERIFY(!QTest::qWaitFor(
        [&] {
            return socket.bytesAvailable() > 0 || socket.state() != QAbstractSocket::ConnectedState;
        },
        300));
}

void TestVendorServer::closeWithoutAnswer()
{
    VendorServer::Response r;
    r.closeWithoutAnswer = true;
    m_server->setRoute(QStringLiteral("/drop"), r);

    const Fetched f = fetch(QStringLiteral("/drop"));
    QVERIFY(f.finished);
    QCOMPARE(f.error, QNetworkReply::RemoteHostClosedError);
    QVERIFY(m_server->requests().size() >= 1);

    const RawReply raw = rawExchange(m_server->port(), "GET /drop HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(raw.all.isEmpty());
}

void TestVendorServer::fileTypes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("noCache");

    QTest::newRow("root") << "/" << QByteArray("text/html; charset=utf-8") << true;
    QTest::newRow("htm") << "/a.htm" << QByteArray("text/html; charset=utf-8") << true;
    QTest::newRow("html") << "/b.html" << QByteArray("text/html; charset=utf-8") << true;
    QTest::newRow("txt") << "/c.txt" << QByteArray("text/plain; charset=utf-8") << true;
    QTest::newRow("asp") << "/d.asp" << QByteArray("text/html; charset=utf-8") << true;
    QTest::newRow("js") << "/e.js" << QByteArray("application/javascript") << true;
    QTest::newRow("css") << "/f.css" << QByteArray("text/css; charset=utf-8") << true;
    QTest::newRow("png") << "/g.png" << QByteArray("image/png") << false;
    QTest::newRow("jpg") << "/h.jpg" << QByteArray("image/jpeg") << false;
    QTest::newRow("svg") << "/i.svg" << QByteArray("image/svg+xml") << true;
    QTest::newRow("mp4") << "/j.mp4" << QByteArray("video/mp4") << false;
    QTest::newRow("webm") << "/k.webm" << QByteArray("video/webm") << false;
    QTest::newRow("m3u8") << "/l.m3u8" << QByteArray("application/vnd.apple.mpegurl") << true;
    QTest::newRow("ts") << "/m.ts" << QByteArray("video/mp2t") << false;
    QTest::newRow("ico") << "/n.ico" << QByteArray("image/x-icon") << false;
    QTest::newRow("unknown") << "/o.bin" << QByteArray("application/octet-stream") << false;
    QTest::newRow("dir index") << "/sub/" << QByteArray("text/html; charset=utf-8") << true;
    QTest::newRow("dir no slash") << "/sub" << QByteArray("text/html; charset=utf-8") << true;
    QTest::newRow("percent-encoded name")
        << "/%E4%B8%AD%E6%96%87.txt" << QByteArray("text/plain; charset=utf-8") << true;
}

void TestVendorServer::fileTypes()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, noCache);

    const Fetched f = fetch(path);
    QCOMPARE(f.status, 200);
    QCOMPARE(f.header("Content-Type"), contentType);
    QCOMPARE(f.header("Accept-Ranges"), QByteArray("bytes"));
    QCOMPARE(f.header("Content-Length"), QByteArray::number(f.body.size()));
    QCOMPARE(f.header("Cache-Control") == "no-cache", noCache);
    QVERIFY(!f.body.isEmpty());
}

void TestVendorServer::notFound()
{
    const Fetched f = fetch(QStringLiteral("/nope/missing.htm"));
    QCOMPARE(f.status, 404);
    QCOMPARE(f.header("Content-Type"), QByteArray("text/html; charset=utf-8"));
    QVERIFY(f.body.startsWith("<html><body><h1>404 未找到</h1>"));
    QCOMPARE(m_server->requests().size(), 1);

    VendorServer bare; // no root at all
    QVERIFY(bare.listen());
    const RawReply raw = rawExchange(bare.port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    QCOMPARE(raw.statusLine, QByteArray("HTTP/1.1 404 Not Found"));
}

void TestVendorServer::traversal_data()
{
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("dotdot") << QByteArray("/../secret.txt");
    QTest::newRow("dotdot deep") << QByteArray("/sub/../../secret.txt");
    QTest::newRow("dotdot inside root") << QByteArray("/sub/../b.html");
    QTest::newRow("encoded dotdot") << QByteArray("/%2e%2e/secret.txt");
    QTest::newRow("encoded slash") << QByteArray("/sub/..%2f..%2fsecret.txt");
    QTest::newRow("backslash") << QByteArray("/sub\\..\\..\\secret.txt");
    QTest::newRow("encoded backslash") << QByteArray("/%5c..%5csecret.txt");
    QTest::newRow("absolute") << QByteArray("//etc/passwd");
    QTest::newRow("encoded absolute") << QByteArray("/%2fetc/passwd");
    QTest::newRow("drive") << QByteArray("/C:/secret.txt");
    QTest::newRow("nul") << QByteArray("/b.html%00.txt");
}

void TestVendorServer::traversal()
{
    QFETCH(QByteArray, target);
    const RawReply r
        = rawExchange(m_server->port(), "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
    QCOMPARE(r.statusLine, QByteArray("HTTP/1.1 404 Not Found"));
    QVERIFY(!r.body.contains("top secret"));
    QVERIFY(!r.body.contains("root:"));
}

void TestVendorServer::ranges_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("length");

    QTest::newRow("closed") << QByteArray("bytes=0-9") << 206 << QByteArray("bytes 0-9/100") << 0
                            << 10;
    QTest::newRow("middle") << QByteArray("bytes=42-57") << 206 << QByteArray("bytes 42-57/100")
                            << 42 << 16;
    QTest::newRow("open") << QByteArray("bytes=90-") << 206 << QByteArray("bytes 90-99/100") << 90
                          << 10;
    QTest::newRow("suffix") << QByteArray("bytes=-5") << 206 << QByteArray("bytes 95-99/100") << 95
                            << 5;
    QTest::newRow("past end clipped")
        << QByteArray("bytes=95-200") << 206 << QByteArray("bytes 95-99/100") << 95 << 5;
    QTest::newRow("single byte") << QByteArray("bytes=99-99") << 206
                                 << QByteArray("bytes 99-99/100") << 99 << 1;
    QTest::newRow("unsatisfiable")
        << QByteArray("bytes=100-") << 416 << QByteArray("bytes */100") << 0 << 0;
    QTest::newRow("reversed ignored") << QByteArray("bytes=5-2") << 200 << QByteArray() << 0 << 100;
    QTest::newRow("multi ignored")
        << QByteArray("bytes=0-1,5-6") << 200 << QByteArray() << 0 << 100;
    QTest::newRow("other unit ignored")
        << QByteArray("items=0-1") << 200 << QByteArray() << 0 << 100;
    QTest::newRow("garbage ignored") << QByteArray("bytes=x-y") << 200 << QByteArray() << 0 << 100;
}

void TestVendorServer::ranges()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(QByteArray, contentRange);
    QFETCH(int, from);
    QFETCH(int, length);

    const Fetched f = fetch(QStringLiteral("/range.bin"), "GET", {{"Range", range}});
    QCOMPARE(f.status, status);
    QCOMPARE(f.header("Content-Range"), contentRange);
    QCOMPARE(f.header("Accept-Ranges"), QByteArray("bytes"));
    QCOMPARE(f.header("Content-Length"), QByteArray::number(length));
    if (status != 416)
        QCOMPARE(f.body, pattern(100).mid(from, length));
}

void TestVendorServer::largeFileAndRange()
{
    const Fetched whole = fetch(QStringLiteral("/big.mp4"));
    QCOMPARE(whole.status, 200);
    QCOMPARE(whole.body.size(), m_bigFile.size());
    QVERIFY(whole.body == m_bigFile);

    const qint64 from = 1024 * 1024 + 3;
    const Fetched tail = fetch(
        QStringLiteral("/big.mp4"), "GET", {{"Range", "bytes=" + QByteArray::number(from) + "-"}});
    QCOMPARE(tail.status, 206);
    QVERIFY(tail.body == m_bigFile.mid(from));
    QCOMPARE(tail.header("Content-Range"),
        "bytes " + QByteArray::number(from) + '-' + QByteArray::number(m_bigFile.size() - 1) + '/'
            + QByteArray::number(m_bigFile.size()));
}

void TestVendorServer::head()
{
    const Fetched f = fetch(QStringLiteral("/big.mp4"), "HEAD");
    QCOMPARE(f.status, 200);
    QCOMPARE(f.header("Content-Length"), QByteArray::number(m_bigFile.size()));
    QCOMPARE(f.header("Content-Type"), QByteArray("video/mp4"));
    QVERIFY(f.body.isEmpty());

    // Nothing after the header block on the wire, for files and routes alike.
    RawReply raw = rawExchange(m_server->port(), "HEAD /c.txt HTTP/1.1\r\nHost: x\r\n\r\n");
    QCOMPARE(raw.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(raw.all.endsWith("\r\n\r\n"));
    QVERIFY(raw.body.isEmpty());

    m_server->setRoute(QStringLiteral("/r"), textResponse(200, "abc"));
    raw = rawExchange(m_server->port(), "HEAD /r HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(raw.head.contains("\r\nContent-Length: 3"));
    QVERIFY(raw.body.isEmpty());
}

void TestVendorServer::templating_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected"); // "%BASE%" stands for baseUrl()

    QTest::newRow("htm with host")
        << QByteArray("GET /a.htm HTTP/1.1\r\nHost: example.test:81\r\n\r\n")
        << QByteArray("<a href=\"http://example.test:81/x\">http://example.test:81</a>");
    QTest::newRow("htm no host") << QByteArray("GET /a.htm HTTP/1.0\r\n\r\n")
                                 << QByteArray("<a href=\"%BASE%/x\">%BASE%</a>");
    QTest::newRow("hostile host ignored")
        << QByteArray("GET /a.htm HTTP/1.1\r\nHost: <script>\r\n\r\n")
        << QByteArray("<a href=\"%BASE%/x\">%BASE%</a>");
    QTest::newRow("txt") << QByteArray("GET /c.txt HTTP/1.1\r\nHost: h:1\r\n\r\n")
                         << QByteArray("栎川一台;http://h:1/tv/01.htm\r\n");
    QTest::newRow("origin as a header value")
        << QByteArray("GET /p.txt HTTP/1.1\r\nHost: h:1\r\n\r\n")
        << QByteArray("台;http://h:1/a|Referer=http%3A%2F%2Fh%3A1%2F");
    QTest::newRow("asp") << QByteArray("GET /d.asp HTTP/1.1\r\nHost: h\r\n\r\n")
                         << QByteArray("<form>http://h</form>");
    QTest::newRow("m3u8") << QByteArray("GET /l.m3u8 HTTP/1.1\r\nHost: h\r\n\r\n")
                          << QByteArray("#EXTM3U\nhttp://h/seg.ts\n");
    QTest::newRow("js untouched") << QByteArray("GET /e.js HTTP/1.1\r\nHost: h\r\n\r\n")
                                  << QByteArray("var site = '@SITE@';");
    QTest::newRow("templated range")
        << QByteArray("GET /d.asp HTTP/1.1\r\nHost: h\r\nRange: bytes=6-13\r\n\r\n")
        << QByteArray("http://h");
}

void TestVendorServer::templating()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    expected.replace("%BASE%", m_server->baseUrl().toUtf8());

    const RawReply r = rawExchange(m_server->port(), request);
    QVERIFY2(r.statusLine.startsWith("HTTP/1.1 20"), r.statusLine.constData());
    QCOMPARE(r.body, expected);
    QVERIFY(r.head.contains("\r\nContent-Length: " + QByteArray::number(expected.size()) + "\r\n"));

    // Through a normal client the origin is this server.
    const Fetched f = fetch(QStringLiteral("/a.htm"));
    const QByteArray base = m_server->baseUrl().toUtf8();
    QCOMPARE(f.body, "<a href=\"" + base + "/x\">" + base + "</a>");
}

void TestVendorServer::jsFallsBackToHlsDist()
{
    Fetched f = fetch(QStringLiteral("/js/hls.min.js"));
    QCOMPARE(f.status, 200);
    QCOMPARE(f.header("Content-Type"), QByteArray("application/javascript"));
    QCOMPARE(f.body, QByteArray("/* hls */"));

    f = fetch(QStringLiteral("/js/other.js")); // the site's own copy wins
    QCOMPARE(f.body, QByteArray("/* own other */"));

    QCOMPARE(fetch(QStringLiteral("/js/../../secret.txt")).status, 404);
    QCOMPARE(fetch(QStringLiteral("/js/missing.js")).status, 404);
}

void TestVendorServer::recordsRequests()
{
    QSignalSpy spy(m_server.get(), &VendorServer::requestReceived);
    m_server->setRoute(QStringLiteral("/rec/path"), textResponse(200, "ok"));

    const Fetched f = fetch(
        QStringLiteral("/rec/path?a=1&b=%20c"), "GET", {{"X-First", "1"}, {"x-second", "two"}});
    QCOMPARE(f.body, QByteArray("ok"));
    QCOMPARE(spy.size(), 1);

    const QList<VendorServer::Request> all = m_server->requests();
    QCOMPARE(all.size(), 1);
    const VendorServer::Request &req = all.first();
    QCOMPARE(req.method, QByteArray("GET"));
    QCOMPARE(req.path, QByteArray("/rec/path"));
    QCOMPARE(req.query, QByteArray("a=1&b=%20c"));
    QVERIFY(req.hasHeader("x-first"));
    QVERIFY(req.hasHeader("X-SECOND"));
    QVERIFY(!req.hasHeader("X-Missing"));
    QCOMPARE(req.header("X-FIRST"), QByteArray("1"));
    QCOMPARE(req.header("X-Second"), QByteArray("two"));
    QCOMPARE(req.header("X-Missing"), QByteArray());
    QCOMPARE(spy.first().first().value<VendorServer::Request>().path, QByteArray("/rec/path"));

    // Order and spelling as they arrived; the first of duplicates wins.
    rawExchange(m_server->port(),
        "GET /rec/path HTTP/1.1\r\nHost: h\r\nzeta: 1\r\nAlpha: 2\r\nzeta: 3\r\n\r\n");
    QCOMPARE(spy.size(), 2);
    const VendorServer::Request raw = m_server->requests().last();
    QCOMPARE(raw.headers.size(), 4);
    QCOMPARE(raw.headers.at(1), qMakePair(QByteArray("zeta"), QByteArray("1")));
    QCOMPARE(raw.headers.at(2), qMakePair(QByteArray("Alpha"), QByteArray("2")));
    QCOMPARE(raw.header("ZETA"), QByteArray("1"));

    // Absolute-form targets are reduced to their path.
    rawExchange(m_server->port(), "GET http://h:1/rec/path?q HTTP/1.1\r\nHost: h\r\n\r\n");
    QCOMPARE(m_server->requests().last().path, QByteArray("/rec/path"));
    QCOMPARE(m_server->requests().last().query, QByteArray("q"));

    m_server->clearRequests();
    QVERIFY(m_server->requests().isEmpty());
    fetch(QStringLiteral("/missing"), "POST", {}, "form=1");
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().method, QByteArray("POST"));
}

void TestVendorServer::drainsRequestBody()
{
    m_server->setRoute(QStringLiteral("/post"), textResponse(200, "got it"));

    QTcpSocket socket;
    QObject context;
    QByteArray got;
    connect(&socket, &QTcpSocket::readyRead, &context, [&] { got += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, m_server->port());
    QTRY_COMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.write("POST /post HTTP/1.1\r\nHost: h\r\nContent-Length: 10\r\n\r\n12345");
    QTRY_COMPARE(m_server->requests().size(), 1);
    QVERIFY2(
        !QTest::qWaitFor([&] { return !got.isEmpty(); }, 150), "answered before the body arrived");
    socket.write("67890");
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(got.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(got.endsWith("\r\n\r\ngot it"));
    QCOMPARE(m_server->requests().size(), 1);

    const Fetched f = fetch(QStringLiteral("/post"), "POST", {}, QByteArray(200 * 1024, 'x'));
    QCOMPARE(f.status, 200);
    QCOMPARE(f.body, QByteArray("got it"));
}

void TestVendorServer::malformed_data()
{
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("garbage") << QByteArray("garbage\r\n\r\n");
    QTest::newRow("no version") << QByteArray("GET /\r\n\r\n");
    QTest::newRow("extra part") << QByteArray("GET / HTTP/1.1 x\r\n\r\n");
    QTest::newRow("http2 line") << QByteArray("GET / HTTP/2.0\r\n\r\n");
    QTest::newRow("relative target") << QByteArray("GET index.htm HTTP/1.1\r\n\r\n");
    QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nNoColon\r\n\r\n");
    QTest::newRow("empty header name") << QByteArray("GET / HTTP/1.1\r\n: v\r\n\r\n");
    QTest::newRow("space in header name") << QByteArray("GET / HTTP/1.1\r\nBad Name: v\r\n\r\n");
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nA: 1\r\n  folded\r\n\r\n");
    QTest::newRow("bad content length")
        << QByteArray("GET / HTTP/1.1\r\nContent-Length: abc\r\n\r\n");
    QTest::newRow("negative content length")
        << QByteArray("GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n");
    QTest::newRow("conflicting lengths")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab");
    QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe \x7f\r\n\r\n", 10);
    QTest::newRow("control in target") << QByteArray("GET /a\x01 HTTP/1.1\r\n\r\n");
    QTest::newRow("huge head") << "GET / HTTP/1.1\r\nX: " + QByteArray(70 * 1024, 'a') + "\r\n\r\n";
    QTest::newRow("endless head") << "GET / HTTP/1.1\r\nX: " + QByteArray(70 * 1024, 'a');
}

void TestVendorServer::malformed()
{
    QFETCH(QByteArray, request);
    const RawReply r = rawExchange(m_server->port(), request);
    QCOMPARE(r.statusLine, QByteArray("HTTP/1.1 400 Bad Request"));
    QVERIFY(r.head.contains("\r\nConnection: close"));
    QVERIFY(m_server->requests().isEmpty());

    // Still serving afterwards.
    QCOMPARE(fetch(QStringLiteral("/b.html")).status, 200);
}

void TestVendorServer::largeRouteBody()
{
    const QByteArray big = pattern(50 * 1024 * 1024);
    VendorServer::Response r = textResponse(200, big);
    r.contentType = "application/octet-stream";
    m_server->setRoute(QStringLiteral("/big"), r);

    QElapsedTimer clock;
    clock.start();
    const Fetched f = fetch(QStringLiteral("/big"));
    QVERIFY(f.finished);
    QCOMPARE(f.status, 200);
    QCOMPARE(f.body.size(), big.size());
    QVERIFY(f.body == big);
    qInfo("50 MB route body in %lld ms", clock.elapsed());
}

void TestVendorServer::destroyWithOpenConnections()
{
    VendorServer::Response hang;
    hang.neverAnswer = true;
    m_server->setRoute(QStringLiteral("/hang"), hang);
    VendorServer::Response slow = textResponse(200, "late");
    slow.delayMs = 200;
    m_server->setRoute(QStringLiteral("/slow"), slow);

    QTcpSocket a, b, c;
    for (QTcpSocket *s : {&a, &b, &c})
        s->connectToHost(QHostAddress::LocalHost, m_server->port());
    QTRY_VERIFY(a.state() == QAbstractSocket::ConnectedState
        && b.state() == QAbstractSocket::ConnectedState
        && c.state() == QAbstractSocket::ConnectedState);
    a.write("GET /hang HTTP/1.1\r\nHost: h\r\n\r\n");
    b.write("GET /slow HTTP/1.1\r\nHost: h\r\n\r\n");
    c.write("GET /big.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"); // left unread mid-stream
    QTRY_COMPARE(m_server->requests().size(), 3);

    m_server.reset();
    QTRY_COMPARE(a.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(b.state(), QAbstractSocket::UnconnectedState);
    QTest::qWait(300); // the delayed answer must not fire into a dead server
}

namespace {

QList<LiveMedia::HlsSegment> numberedSegments(const QList<int> &durationsMs)
{
    QList<LiveMedia::HlsSegment> out;
    for (int i = 0; i < durationsMs.size(); ++i)
        out.append({QByteArray("seg") + QByteArray::number(i).rightJustified(3, '0') + ".ts",
            durationsMs[i]});
    return out;
}

QList<int> repeated(int value, int count)
{
    return QList<int>(count, value);
}

// Segment numbers in playlist order; -1 stands for a discontinuity.
QList<int> run(int from, int to)
{
    QList<int> out;
    for (int i = from; i <= to; ++i)
        out.append(i);
    return out;
}

qint64 playlistValue(const QByteArray &playlist, const QByteArray &tag)
{
    for (const QByteArray &line : playlist.split('\n')) {
        if (line.startsWith(tag + ':'))
            return line.mid(tag.size() + 1).toLongLong();
    }
    return -1;
}

// The clip's own video timing, read with our reader: first, last and count of frame times.
struct Span {
    qint64 first = -1, last = -1, count = 0;
    void add(qint64 t)
    {
        first = count ? std::min(first, t) : t;
        last = count ? std::max(last, t) : t;
        ++count;
    }
    qint64 loop() const { return last - first + (last - first) / (count - 1); }
};

qint64 flvLeadMs(const QList<FlvTag> &tags)
{
    int seen = 0;
    for (const FlvTag &t : tags) {
        if (t.isMedia() && t.isKeyframe() && ++seen == 2)
            return t.time;
    }
    return -1;
}

// Latest PCR at or before each packet, in 90 kHz ticks (-1 before the first).
QList<qint64> pcrClock(const QList<TsPacket> &packets)
{
    QList<qint64> out;
    qint64 now = -1;
    for (const TsPacket &p : packets) {
        if (p.pcr >= 0)
            now = p.pcr / 300;
        out.append(now);
    }
    return out;
}

// Ticks from the first access point to the second: the GOP sent at once.
qint64 tsLeadTicks(const QList<TsPacket> &packets, int videoPid)
{
    const QList<qint64> clock = pcrClock(packets);
    QList<int> access;
    for (int i = 0; i < packets.size(); ++i) {
        if (packets[i].pid == videoPid && packets[i].randomAccess && packets[i].pts >= 0)
            access.append(i);
    }
    return access.size() >= 2 ? clock[access[1]] - clock[access[0]] : -1;
}

} // namespace

void TestVendorServer::parseMediaPlaylist_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("uris");
    QTest::addColumn<QList<int>>("durations");

    QTest::newRow("as ffmpeg writes it")
        << QByteArray("#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:2\n"
                      "#EXT-X-MEDIA-SEQUENCE:0\n#EXT-X-PLAYLIST-TYPE:VOD\n#EXTINF:2.000000,\n"
                      "seg000.ts\n#EXTINF:1.960000,\nseg001.ts\n#EXT-X-ENDLIST\n")
        << QByteArrayList {"seg000.ts", "seg001.ts"} << QList<int> {2000, 1960};
    QTest::newRow("crlf and titles")
        << QByteArray("#EXTM3U\r\n#EXTINF:4,First\r\na.ts\r\n#EXTINF:0.5,\r\nb.ts\r\n")
        << QByteArrayList {"a.ts", "b.ts"} << QList<int> {4000, 500};
    QTest::newRow("entries without a usable duration dropped")
        << QByteArray("#EXTM3U\nlost.ts\n#EXTINF:bad,\nx.ts\n#EXTINF:0,\nz.ts\n#EXTINF:2,\ny.ts\n")
        << QByteArrayList {"y.ts"} << QList<int> {2000};
    QTest::newRow("empty") << QByteArray() << QByteArrayList() << QList<int>();
}

void TestVendorServer::parseMediaPlaylist()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, uris);
    QFETCH(QList<int>, durations);

    const QList<LiveMedia::HlsSegment> got = LiveMedia::parseMediaPlaylist(text);
    QCOMPARE(got.size(), uris.size());
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].uri, uris[i]);
        QCOMPARE(got[i].durationMs, durations[i]);
    }
}

void TestVendorServer::livePlaylist_data()
{
    QTest::addColumn<QList<int>>("durations");
    QTest::addColumn<qint64>("clock");
    QTest::addColumn<int>("targetDuration");
    QTest::addColumn<qint64>("sequence");
    QTest::addColumn<qint64>("discontinuities");
    QTest::addColumn<QList<int>>("entries");

    const QList<int> even = repeated(2000, 30); // 60 s loop
    QTest::newRow("start") << even << qint64(0) << 2 << qint64(0) << qint64(0) << run(0, 5);
    QTest::newRow("not yet one segment")
        << even << qint64(1999) << 2 << qint64(0) << qint64(0) << run(0, 5);
    QTest::newRow("one segment on")
        << even << qint64(2000) << 2 << qint64(1) << qint64(0) << run(1, 6);
    QTest::newRow("window at the end of the loop")
        << even << qint64(48000) << 2 << qint64(24) << qint64(0) << run(24, 29);
    QTest::newRow("wrap inside the window") << even << qint64(50000) << 2 << qint64(25) << qint64(0)
                                            << run(25, 29) + QList<int> {-1, 0};
    QTest::newRow("wrap at the top")
        << even << qint64(60000) << 2 << qint64(30) << qint64(0) << QList<int> {-1} + run(0, 5);
    QTest::newRow("wrap slid out")
        << even << qint64(62500) << 2 << qint64(31) << qint64(1) << run(1, 6);
    QTest::newRow("third pass wrapping") << even << qint64(2 * 60000 + 58000) << 2 << qint64(89)
                                         << qint64(2) << QList<int> {29, -1} + run(0, 4);

    const QList<int> uneven = {1000, 3000, 2500}; // shorter than a window: shown once
    QTest::newRow("uneven start") << uneven << qint64(0) << 3 << qint64(0) << qint64(0)
                                  << run(0, 2);
    QTest::newRow("uneven inside the long one")
        << uneven << qint64(3999) << 3 << qint64(1) << qint64(0) << QList<int> {1, 2, -1, 0};
    QTest::newRow("uneven next pass")
        << uneven << qint64(6500) << 3 << qint64(3) << qint64(0) << QList<int> {-1, 0, 1, 2};
    QTest::newRow("uneven after the wrap left")
        << uneven << qint64(6500 + 4000) << 3 << qint64(5) << qint64(1) << QList<int> {2, -1, 0, 1};
}

void TestVendorServer::livePlaylist()
{
    QFETCH(QList<int>, durations);
    QFETCH(qint64, clock);
    QFETCH(int, targetDuration);
    QFETCH(qint64, sequence);
    QFETCH(qint64, discontinuities);
    QFETCH(QList<int>, entries);

    const QList<LiveMedia::HlsSegment> segments = numberedSegments(durations);
    const QByteArray text = LiveMedia::livePlaylist(segments, clock);
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.first(), QByteArray("#EXTM3U"));
    QVERIFY(lines.contains("#EXT-X-VERSION:3"));
    QVERIFY2(!text.contains("#EXT-X-ENDLIST"), "a live playlist never ends");
    QCOMPARE(playlistValue(text, "#EXT-X-TARGETDURATION"), targetDuration);
    QCOMPARE(playlistValue(text, "#EXT-X-MEDIA-SEQUENCE"), sequence);
    QCOMPARE(playlistValue(text, "#EXT-X-DISCONTINUITY-SEQUENCE"), discontinuities);

    QList<int> got;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i] == "#EXT-X-DISCONTINUITY") {
            got.append(-1);
        } else if (lines[i].startsWith("#EXTINF:")) {
            QVERIFY(i + 1 < lines.size());
            const QByteArray uri = lines[i + 1];
            QVERIFY2(!uri.contains('/'), uri.constData()); // relative, next to the playlist
            const int index = uri.mid(3, 3).toInt();
            QCOMPARE(uri, segments.value(index).uri);
            const double seconds = lines[i].mid(8, lines[i].indexOf(',') - 8).toDouble();
            QCOMPARE(qRound64(seconds * 1000), segments[index].durationMs);
            QVERIFY(seconds <= targetDuration + 0.5);
            got.append(index);
        }
    }
    QCOMPARE(got, entries);
}

void TestVendorServer::livePlaylistFollowsServerClock()
{
    REQUIRE_LIVE_MEDIA();
    qint64 clock = 0;
    VendorServer server;
    server.setRoot(QStringLiteral(SITE_DIR));
    server.setLiveClock([&clock] { return clock; });
    QVERIFY(server.listen());
    const QByteArray get = "GET /live/hls/index.m3u8 HTTP/1.1\r\nHost: h\r\n\r\n";

    // The clip's segments, as ffmpeg listed them.
    const QByteArray source = readAll(kLiveDir + "/hls/source.m3u8");
    const qsizetype count = source.count("#EXTINF:");
    QVERIFY(count >= 6);
    const qint64 firstMs
        = qRound64(source.mid(source.indexOf("#EXTINF:") + 8).split(',').first().toDouble() * 1000);
    qint64 loopMs = 0;
    for (const QByteArray &line : source.split('\n')) {
        if (line.startsWith("#EXTINF:"))
            loopMs += qRound64(line.mid(8).split(',').first().toDouble() * 1000);
    }

    RawReply r = rawExchange(server.port(), get);
    QCOMPARE(playlistValue(r.body, "#EXT-X-MEDIA-SEQUENCE"), 0);
    const QByteArray firstUri = r.body.split('\n').value(6);
    QVERIFY2(firstUri.endsWith(".ts"), r.body.constData());

    clock = firstMs;
    r = rawExchange(server.port(), get);
    QCOMPARE(playlistValue(r.body, "#EXT-X-MEDIA-SEQUENCE"), 1);
    QVERIFY(!r.body.contains("\n" + firstUri + "\n"));

    clock = loopMs;
    r = rawExchange(server.port(), get);
    QCOMPARE(playlistValue(r.body, "#EXT-X-MEDIA-SEQUENCE"), count);
    QCOMPARE(playlistValue(r.body, "#EXT-X-DISCONTINUITY-SEQUENCE"), 0);
    QVERIFY(r.body.contains("#EXT-X-DISCONTINUITY\n#EXTINF:"));

    // Segment URIs resolve next to the playlist.
    r = rawExchange(server.port(), "GET /live/hls/" + firstUri + " HTTP/1.1\r\nHost: h\r\n\r\n");
    QCOMPARE(r.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(headerOf(r, "Content-Type"), QByteArray("video/mp2t"));
    QVERIFY(r.body == readAll(kLiveDir + "/hls/" + QString::fromUtf8(firstUri)));

    // Left alone, the clock is monotonic time since the server began.
    VendorServer fresh;
    fresh.setRoot(QStringLiteral(SITE_DIR));
    QVERIFY(fresh.listen());
    const qint64 before = fresh.liveClockMs();
    QVERIFY(before >= 0 && before < 1000);
    r = rawExchange(fresh.port(), get);
    QCOMPARE(playlistValue(r.body, "#EXT-X-MEDIA-SEQUENCE"), 0);
    QTRY_VERIFY(fresh.liveClockMs() >= before + 50);
}

void TestVendorServer::flvLoop_data()
{
    QTest::addColumn<int>("passes");
    QTest::addColumn<qint64>("offsetMs"); // into the loop; negative counts from its end

    QTest::newRow("loop start") << 0 << qint64(0);
    QTest::newRow("mid loop") << 0 << qint64(31000);
    QTest::newRow("last GOP") << 0 << qint64(-500);
    QTest::newRow("right on the join") << 1 << qint64(0);
    QTest::newRow("many passes later") << 5 << qint64(-1500);
}

void TestVendorServer::flvLoop()
{
    REQUIRE_LIVE_MEDIA();
    QFETCH(int, passes);
    QFETCH(qint64, offsetMs);

    const QByteArray file = readAll(kLiveDir + "/14.flv");
    const auto source = LiveMedia::LoopSource::fromFlv(file);
    QVERIFY(source);
    const QList<FlvTag> clip = flvTags(file);
    Span video;
    for (const FlvTag &t : clip) {
        if (t.isMedia() && t.type == 9)
            video.add(t.time);
    }
    QVERIFY(video.count > 2);
    const qint64 loop = source->loopMs();
    QCOMPARE(loop, video.loop()); // the loop is the clip's video, frame for frame
    const auto steps = largestSteps(
        clip, [](const FlvTag &t) { return t.isMedia() ? t.type : -1; },
        [](const FlvTag &t) { return t.time; });

    const qint64 clock = passes * loop + (offsetMs >= 0 ? offsetMs : loop + offsetMs);
    const auto stream = source->open(clock);
    const Pulled sent = pull(*stream, loop + 3000);
    QVERIFY(sent.bytes.startsWith("FLV\x01"));
    const QList<FlvTag> tags = flvTags(sent.bytes);
    QVERIFY(tags.size() > 100);

    // Metadata first, decoder configs once, all before any frame.
    QCOMPARE(tags.first().type, 18);
    QCOMPARE(
        std::count_if(tags.begin(), tags.end(), [](const FlvTag &t) { return t.type == 18; }), 1);
    int configs = 0, firstMedia = -1;
    for (int i = 0; i < tags.size(); ++i) {
        if (tags[i].isConfig()) {
            ++configs;
            QVERIFY2(firstMedia < 0, "decoder config after the frames began");
        } else if (tags[i].isMedia() && firstMedia < 0) {
            firstMedia = i;
        }
    }
    QCOMPARE(configs, 2);
    QVERIFY(firstMedia > 0);
    QVERIFY2(tags[firstMedia].isKeyframe(), "a viewer must start on a keyframe");
    QCOMPARE(tags[firstMedia].time, 0);

    // Times only go forward, and no track skips more than its own frame length.
    std::map<int, qint64> last;
    qint64 previous = 0, end = 0;
    for (const FlvTag &t : tags) {
        if (!t.isMedia())
            continue;
        QVERIFY2(t.time >= previous,
            qPrintable(QStringLiteral("back to %1 after %2").arg(t.time).arg(previous)));
        if (last.count(t.type)) {
            const qint64 step = t.time - last[t.type];
            QVERIFY2(step > 0 && step <= steps.at(t.type),
                qPrintable(
                    QStringLiteral("type %1: step %2 at %3").arg(t.type).arg(step).arg(t.time)));
        }
        last[t.type] = previous = end = t.time;
    }
    QVERIFY2(end > loop, "never got round the loop");

    // The picture repeats exactly one loop later.
    std::map<qint64, QByteArray> frames;
    for (const FlvTag &t : tags) {
        if (t.isMedia() && t.type == 9)
            frames[t.time] = t.body;
    }
    int compared = 0;
    for (const auto &[time, body] : frames) {
        const auto later = frames.find(time + loop);
        if (later != frames.end()) {
            QVERIFY(later->second == body);
            ++compared;
        }
    }
    QVERIFY(compared > 10);

    // Pacing: the first GOP is due at once, every later tag one GOP before its time.
    const qint64 lead = flvLeadMs(tags);
    QVERIFY(lead > 0);
    QVERIFY(sent.dueAt(0) <= 0);
    qint64 lastDue = sent.dueAt(0);
    for (const FlvTag &t : tags) {
        if (!t.isMedia())
            continue;
        const qint64 due = sent.dueAt(t.offset);
        QCOMPARE(due, t.time - lead);
        QVERIFY(due >= lastDue);
        lastDue = due;
    }
}

void TestVendorServer::tsLoop_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("passes");
    QTest::addColumn<qint64>("offsetMs");
    for (const QString f : {"15.ts", "17.ts", "18.ts"}) { // AAC; AC-3; MPEG-2 video with MP2

        QTest::addRow("%s, loop start", qPrintable(f)) << f << 0 << qint64(0);
        QTest::addRow("%s, last GOP", qPrintable(f)) << f << 0 << qint64(-500);
        QTest::addRow("%s, right on the join", qPrintable(f)) << f << 1 << qint64(0);
        QTest::addRow("%s, many passes later", qPrintable(f)) << f << 5 << qint64(-1500);
    }
}

void TestVendorServer::tsLoop()
{
    REQUIRE_LIVE_MEDIA();
    QFETCH(QString, fileName);
    QFETCH(int, passes);
    QFETCH(qint64, offsetMs);

    const QByteArray file = readAll(kLiveDir + '/' + fileName);
    const auto source = LiveMedia::LoopSource::fromTs(file);
    QVERIFY(source);
    const QList<TsPacket> clip = tsPackets(file);
    QVERIFY(!clip.isEmpty());
    const auto steps = largestSteps(
        clip, [](const TsPacket &p) { return p.dts >= 0 ? p.pid : -1; },
        [](const TsPacket &p) { return p.dts; });
    const qint64 loop = source->loopMs();

    const qint64 clock = passes * loop + (offsetMs >= 0 ? offsetMs : loop + offsetMs);
    const auto stream = source->open(clock);
    const Pulled sent = pull(*stream, loop + 3000);
    QCOMPARE(sent.bytes.size() % 188, 0);
    const QList<TsPacket> packets = tsPackets(sent.bytes);
    QVERIFY(packets.size() > 1000);

    // Tables, then a video access point.
    QCOMPARE(packets[0].pid, 0);
    QVERIFY(packets[1].unitStart);
    QCOMPARE(uchar(sent.bytes[188 + 5 + uchar(sent.bytes[188 + 4])]), uchar(0x02)); // a PMT
    const TsPacket &start = packets[2];
    QVERIFY2(start.unitStart && start.randomAccess && start.pts >= 0, "not a keyframe");
    const int videoPid = start.pid;

    std::map<int, int> cc;
    std::map<int, qint64> lastDts;
    std::map<int, QList<qint64>> pts;
    qint64 lastPcr = -1;
    for (const TsPacket &p : packets) {
        // Continuity: +1 per payload, unchanged without one.
        if (cc.count(p.pid)) {
            const int expected = p.payload ? (cc[p.pid] + 1) & 15 : cc[p.pid];
            QVERIFY2(p.cc == expected,
                qPrintable(QStringLiteral("pid %1: counter %2, expected %3 at byte %4")
                               .arg(p.pid)
                               .arg(p.cc)
                               .arg(expected)
                               .arg(p.offset)));
        }
        cc[p.pid] = p.cc;
        if (p.pcr >= 0) {
            QVERIFY2(p.pcr > lastPcr, "PCR went back");
            if (lastPcr >= 0)
                QVERIFY2(p.pcr - lastPcr <= 27000 * 100, "PCR gap over 100 ms");
            lastPcr = p.pcr;
        }
        if (p.dts >= 0) {
            if (lastDts.count(p.pid)) {
                const qint64 step = p.dts - lastDts[p.pid];
                QVERIFY2(step > 0 && step <= steps.at(p.pid),
                    qPrintable(QStringLiteral("pid %1: DTS step %2 at %3 loop %4")
                                   .arg(p.pid)
                                   .arg(step)
                                   .arg(p.dts)
                                   .arg(loop)));
            }
            lastDts[p.pid] = p.dts;
            QVERIFY(p.pts >= p.dts);
            pts[p.pid].append(p.pts);
        }
    }
    // In display order too, up to what has surely all arrived.
    QCOMPARE(pts.size(), size_t(2));
    for (auto &[pid, times] : pts) {
        std::sort(times.begin(), times.end());
        for (int i = 1; i < times.size() && times[i] <= lastDts[pid]; ++i) {
            const qint64 step = times[i] - times[i - 1];
            QVERIFY2(step > 0 && step <= steps.at(pid),
                qPrintable(QStringLiteral("pid %1: PTS step %2").arg(pid).arg(step)));
        }
    }
    QVERIFY2(lastDts[videoPid] - start.dts > loop * 90, "never got round the loop");

    // Pacing follows the PCR, one GOP ahead.
    const qint64 lead = tsLeadTicks(packets, videoPid);
    QVERIFY(lead > 0);
    const QList<qint64> clockAt = pcrClock(packets);
    const qint64 origin = clockAt[2];
    QVERIFY(origin >= 0);
    qint64 lastDue = sent.dueAt(0);
    QVERIFY(lastDue <= 0);
    for (int i = 2; i < packets.size(); ++i) {
        const qint64 due = sent.dueAt(packets[i].offset);
        QVERIFY(due >= lastDue);
        lastDue = due;
        if (packets[i].pcr >= 0) {
            const qint64 expected = (clockAt[i] - origin - lead) / 90;
            QVERIFY2(qAbs(due - expected) <= 1,
                qPrintable(QStringLiteral("due %1, expected %2").arg(due).arg(expected)));
        }
    }
}

void TestVendorServer::liveRoutes_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("endless");

    QTest::newRow("hls playlist") << QByteArray("/live/hls/index.m3u8")
                                  << QByteArray("application/vnd.apple.mpegurl") << false;
    QTest::newRow("hls segment") << QByteArray("/live/hls/seg000.ts") << QByteArray("video/mp2t")
                                 << false;
    QTest::newRow("http-flv") << QByteArray("/live/flv/14.flv") << QByteArray("video/x-flv")
                              << true;
    QTest::newRow("udp relay") << QByteArray("/udp/239.3.1.1:8000") << QByteArray("video/mp2t")
                               << true;
    QTest::newRow("rtp relay") << QByteArray("/rtp/239.3.1.2:5140")
                               << QByteArray("application/octet-stream") << true;
    QTest::newRow("hevc playlist") << QByteArray("/live/hevc/index.m3u8")
                                   << QByteArray("application/vnd.apple.mpegurl") << false;
    for (const char *path : {"/live/ac3/17.ts", "/live/mpeg2/18.ts"})
        QTest::newRow(path) << QByteArray(path) << QByteArray("video/mp2t") << true;
}

void TestVendorServer::liveRoutes()
{
    REQUIRE_LIVE_MEDIA();
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, endless);

    VendorServer server;
    server.setRoot(QStringLiteral(SITE_DIR));
    QVERIFY(server.listen());
    // A page elsewhere asking: these servers still never answer with CORS headers.
    const QByteArray request = "GET " + path
        + " HTTP/1.1\r\nHost: h\r\nOrigin: http://elsewhere.test\r\n"
          "Access-Control-Request-Method: GET\r\n\r\n";
    QElapsedTimer timer;
    timer.start();
    bool open = false;
    const RawReply r = readFor(server.port(), request, endless ? 1500 : 10000, &open);
    const qint64 elapsed = timer.elapsed();

    QCOMPARE(r.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(headerOf(r, "Content-Type"), contentType);
    for (const QByteArray &name : headerNames(r))
        QVERIFY2(!name.startsWith("access-control-"), name.constData());
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().first().path, path);
    QCOMPARE(server.requests().first().header("Origin"), QByteArray("http://elsewhere.test"));

    if (!endless) {
        QVERIFY(!open);
        QCOMPARE(headerOf(r, "Content-Length"), QByteArray::number(r.body.size()));
        if (path.endsWith(".m3u8"))
            QCOMPARE(headerOf(r, "Cache-Control"), QByteArray("no-cache"));
        else
            QVERIFY(r.body == readAll(kLiveDir + "/hls/" + QString::fromUtf8(path.mid(10))));
        return;
    }

    QVERIFY2(open, "an endless stream ended");
    QVERIFY(!headerNames(r).contains("content-length"));
    QCOMPARE(server.openStreamCount(), 1);
    // Sent at once: the first GOP; then only as fast as it plays.
    qint64 leadMs = 0, spanMs = 0;
    if (contentType == "video/x-flv") {
        const QList<FlvTag> tags = flvTags(r.body);
        QVERIFY(r.body.startsWith("FLV"));
        leadMs = flvLeadMs(tags);
        spanMs = tags.isEmpty() ? 0 : tags.last().time;
    } else {
        const QList<TsPacket> packets = tsPackets(r.body);
        QVERIFY(packets.size() > 3);
        QCOMPARE(packets.first().pid, 0);
        const QList<qint64> clock = pcrClock(packets);
        leadMs = tsLeadTicks(packets, packets[2].pid) / 90;
        spanMs = (clock.last() - clock[2]) / 90;
    }
    QVERIFY2(leadMs > 0, "the first GOP did not arrive at once");
    QVERIFY2(spanMs >= leadMs, qPrintable(QStringLiteral("%1 ms of media").arg(spanMs)));
    QVERIFY2(spanMs <= elapsed + leadMs + 500,
        qPrintable(QStringLiteral("%1 ms of media in %2 ms").arg(spanMs).arg(elapsed)));
    QTRY_COMPARE(server.openStreamCount(), 0);

    // HEAD: the same answer without a body, and no stream left behind.
    const RawReply h
        = rawExchange(server.port(), "HEAD " + path + " HTTP/1.1\r\nHost: h\r\n\r\n", 3000);
    QCOMPARE(h.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(headerOf(h, "Content-Type"), contentType);
    QVERIFY(h.body.isEmpty());
    QCOMPARE(server.openStreamCount(), 0);
}

void TestVendorServer::liveRoutesNeedMedia()
{
    // The fixture's root has no media/live.
    for (const char *path : {"/live/hls/index.m3u8", "/live/hls/seg000.ts", "/live/flv/14.flv",
             "/udp/239.3.1.1:8000", "/rtp/239.3.1.2:5140", "/live/hevc/index.m3u8",
             "/guarded/hls/index.m3u8", "/cdn/hls/index.m3u8", "/live/ac3/17.ts"}) {
        const RawReply r = rawExchange(
            m_server->port(), QByteArray("GET ") + path + " HTTP/1.1\r\nHost: h\r\n\r\n");
        QVERIFY2(r.statusLine == "HTTP/1.1 404 Not Found", path);
    }
    QCOMPARE(m_server->openStreamCount(), 0);
}

void TestVendorServer::streamCrossesLoopOnTheWire_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("http-flv") << QByteArray("/live/flv/14.flv");
    QTest::newRow("udp relay") << QByteArray("/udp/239.3.1.1:8000");
}

void TestVendorServer::streamCrossesLoopOnTheWire()
{
    REQUIRE_LIVE_MEDIA();
    QFETCH(QByteArray, path);
    const bool flv = path.endsWith(".flv");
    const QByteArray file = readAll(kLiveDir + (flv ? "/14.flv" : "/15.ts"));
    const auto source
        = flv ? LiveMedia::LoopSource::fromFlv(file) : LiveMedia::LoopSource::fromTs(file);
    QVERIFY(source);
    const qint64 loop = source->loopMs();

    // Join late in the seventh pass: the join to the eighth comes within the first GOP.
    const qint64 clock = 7 * loop - 300;
    VendorServer server;
    server.setRoot(QStringLiteral(SITE_DIR));
    server.setLiveClock([clock] { return clock; });
    QVERIFY(server.listen());
    const RawReply r = readFor(server.port(), "GET " + path + " HTTP/1.1\r\nHost: h\r\n\r\n", 1200);
    QCOMPARE(r.statusLine, QByteArray("HTTP/1.1 200 OK"));

    if (flv) {
        const QList<FlvTag> clip = flvTags(file);
        const auto opening = std::find_if(clip.begin(), clip.end(),
            [](const FlvTag &t) { return t.isMedia() && t.isKeyframe(); });
        QVERIFY(opening != clip.end());
        const QList<FlvTag> tags = flvTags(r.body);
        qint64 previous = -1, lastVideo = -1;
        bool wrapped = false;
        for (const FlvTag &t : tags) {
            if (!t.isMedia())
                continue;
            QVERIFY(t.time >= previous);
            previous = t.time;
            if (t.type != 9)
                continue;
            if (t.body == opening->body) {
                // The clip's first picture again, straight after the last one.
                QVERIFY(t.time > 0);
                QCOMPARE(t.time - lastVideo, 40);
                wrapped = true;
            }
            lastVideo = t.time;
        }
        QVERIFY2(wrapped, "the clip's start never came round");
    } else {
        const QList<TsPacket> clip = tsPackets(file);
        const auto firstVideo = std::find_if(clip.begin(), clip.end(),
            [](const TsPacket &p) { return p.randomAccess && p.dts >= 0 && p.pid != 0; });
        QVERIFY(firstVideo != clip.end());
        const int videoPid = firstVideo->pid;
        const qint64 joinDts = firstVideo->dts + 7 * loop * 90;
        std::map<int, int> cc;
        qint64 lastDts = -1, lastPcr = -1;
        bool before = false, after = false;
        for (const TsPacket &p : tsPackets(r.body)) {
            if (cc.count(p.pid))
                QCOMPARE(p.cc, p.payload ? (cc[p.pid] + 1) & 15 : cc[p.pid]);
            cc[p.pid] = p.cc;
            if (p.pcr >= 0) {
                QVERIFY(p.pcr > lastPcr);
                lastPcr = p.pcr;
            }
            if (p.pid == videoPid && p.dts >= 0) {
                QVERIFY(p.dts > lastDts);
                lastDts = p.dts;
                (p.dts < joinDts ? before : after) = true;
            }
        }
        QVERIFY2(before && after, "did not see both sides of the join");
    }
}

void TestVendorServer::dropStreams()
{
    REQUIRE_LIVE_MEDIA();
    VendorServer server;
    server.setRoot(QStringLiteral(SITE_DIR));
    QVERIFY(server.listen());
    const QList<QByteArray> paths
        = {"/live/flv/14.flv", "/udp/239.3.1.1:8000", "/rtp/239.3.1.2:5140"};
    std::vector<std::unique_ptr<Viewer>> viewers;
    for (const QByteArray &path : paths)
        viewers.push_back(std::make_unique<Viewer>(server.port(), path));
    QTRY_COMPARE(server.openStreamCount(), 3);
    for (const auto &v : viewers)
        QTRY_VERIFY(v->bodySize() > 0);
    QTest::qWait(200);
    for (const auto &v : viewers)
        QCOMPARE(v->socket.state(), QAbstractSocket::ConnectedState);

    server.dropStreams();
    QCOMPARE(server.openStreamCount(), 0);
    for (const auto &v : viewers)
        QTRY_COMPARE(v->socket.state(), QAbstractSocket::UnconnectedState);

    // The channel itself is fine: the next viewer gets a fresh stream.
    Viewer again(server.port(), "/live/flv/14.flv");
    QTRY_COMPARE(server.openStreamCount(), 1);
    QTRY_VERIFY(again.bodySize() > 13);
    QVERIFY(again.got.contains("\r\n\r\nFLV\x01"));
    QCOMPARE(server.requests().size(), 4);
}

void TestVendorServer::viewerLeaves_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("graceful");

    QTest::newRow("http-flv, reset") << QByteArray("/live/flv/14.flv") << false;
    QTest::newRow("http-flv, closed") << QByteArray("/live/flv/14.flv") << true;
    QTest::newRow("udp relay, reset") << QByteArray("/udp/239.3.1.1:8000") << false;
    QTest::newRow("rtp relay, closed") << QByteArray("/rtp/239.3.1.2:5140") << true;
}

void TestVendorServer::viewerLeaves()
{
    REQUIRE_LIVE_MEDIA();
    QFETCH(QByteArray, path);
    QFETCH(bool, graceful);

    VendorServer server;
    server.setRoot(QStringLiteral(SITE_DIR));
    QVERIFY(server.listen());
    {
        Viewer first(server.port(), path);
        Viewer second(server.port(), path);
        QTRY_COMPARE(server.openStreamCount(), 2);
        QTRY_VERIFY(first.bodySize() > 0 && second.bodySize() > 0);
        if (graceful)
            first.socket.disconnectFromHost();
        else
            first.socket.abort();
        QTRY_COMPARE(server.openStreamCount(), 1);
        // The other viewer is untouched and still fed.
        const qsizetype had = second.bodySize();
        QTRY_VERIFY(second.bodySize() > had);
        QCOMPARE(second.socket.state(), QAbstractSocket::ConnectedState);
    }
    QTRY_COMPARE(server.openStreamCount(), 0);
}

void TestVendorServer::guardedAndCdn_data()
{
    using B = QByteArray;
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("referer"); // "%BASE%" stands for the site's baseUrl()
    QTest::addColumn<int>("status");
    const B playlist = "/guarded/hls/index.m3u8", segment = "/guarded/hls/seg001.ts";
    QTest::newRow("guarded playlist, no Referer") << playlist << B() << 403;
    QTest::newRow("guarded playlist, home page") << playlist << B("%BASE%/") << 200;
    QTest::newRow("guarded segment, home page") << segment << B("%BASE%/") << 200;
    QTest::newRow("guarded segment, origin alone") << segment << B("%BASE%") << 403;
    QTest::newRow("guarded, another page") << playlist << B("%BASE%/index.htm") << 403;
    QTest::newRow("cdn playlist") << B("/cdn/hls/index.m3u8") << B() << 200;
}

void TestVendorServer::guardedAndCdn()
{
    REQUIRE_LIVE_MEDIA();
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, referer);
    QFETCH(int, status);
    VendorServer server;
    server.setRoot(QStringLiteral(SITE_DIR));
    QVERIFY(server.listen());
    const VendorServer *cdn = server.startCdn();
    QVERIFY(cdn && cdn->port() != server.port());
    referer.replace("%BASE%", server.baseUrl().toUtf8());
    const RawReply r = rawExchange(server.port(),
        "GET " + path + " HTTP/1.1\r\nHost: " + server.baseUrl().toUtf8().mid(7)
            + (referer.isEmpty() ? "" : "\r\nReferer: " + referer) + "\r\n\r\n");
    QCOMPARE(r.statusLine.mid(9, 3).toInt(), status);
    if (!path.startsWith("/cdn/"))
        return;
    // Segments named on the CDN, which serves them (without CORS headers, as liveRoutes shows).
    const QUrl first(
        QString::fromUtf8(r.body.mid(r.body.indexOf("\nhttp") + 1).split('\n').first()));
    QCOMPARE(first.resolved(QUrl("seg")).toString(), cdn->baseUrl() + "/live/hls/seg");
    const QByteArray onCdn = first.path().toUtf8();
    QVERIFY(rawExchange(cdn->port(), "GET " + onCdn + " HTTP/1.0\r\n\r\n").body
        == readAll(kLiveDir + onCdn.mid(5)));
}

void TestVendorServer::datagrams_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("rtp");
    QTest::newRow("udp") << "127.0.0.1" << false;
    QTest::newRow("rtp") << "127.0.0.1" << true;
    QTest::newRow("rtp to a multicast group") << "239.255.42.77" << true;
}

void TestVendorServer::datagrams()
{
    REQUIRE_LIVE_MEDIA();
    QFETCH(QString, address);
    QFETCH(bool, rtp);
    const QHostAddress to(address);
    if (const QString why = DatagramSender::multicastUnavailable();
        to.isMulticast() && !why.isEmpty())
        QSKIP(qPrintable(why));
    QUdpSocket in;
    QVERIFY(in.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::ShareAddress));
    QVERIFY(!to.isMulticast() || in.joinMulticastGroup(to));
    QElapsedTimer timer;
    timer.start();
    DatagramSender sender(
        LiveMedia::LoopSource::fromTs(readAll(kLiveDir + "/15.ts")), to, in.localPort(), rtp);
    QList<QByteArray> got;
    QVERIFY(QTest::qWaitFor(
        [&] {
            while (in.hasPendingDatagrams())
                got.append(in.receiveDatagram().data());
            return got.size() >= 60;
        },
        20000));
    const qint64 elapsed = timer.elapsed();

    const int head = rtp ? 12 : 0;
    std::map<int, int> cc;
    std::optional<qint64> offset; // RTP time less PCR, in 90 kHz ticks
    qint64 firstPcr = -1, lastPcr = -1;
    for (int i = 0; i < got.size(); ++i) {
        const QByteArray &d = got[i];
        QCOMPARE(d.size(), head + 7 * 188);
        const QList<TsPacket> packets = tsPackets(d.mid(head));
        QCOMPARE(packets.size(), 7);
        QVERIFY(i > 0 || packets.first().pid == 0); // tables first
        if (rtp) // version 2, nothing optional; MPEG-TS, no marker; numbered in turn; one source
            QCOMPARE(
                QList<quint32>({be(d, 0, 1), be(d, 1, 1), quint16(be(d, 2, 2) - i), be(d, 8, 4)}),
                QList<quint32>({0x80, 33, be(got[0], 2, 2), be(got[0], 8, 4)}));
        // Nothing lost between datagrams, and the RTP clock is the stream's own.
        for (const TsPacket &p : packets) {
            if (cc.count(p.pid))
                QCOMPARE(p.cc, p.payload ? (cc[p.pid] + 1) & 15 : cc[p.pid]);
            cc[p.pid] = p.cc;
            if (p.pcr < 0)
                continue;
            firstPcr = firstPcr < 0 ? p.pcr : firstPcr;
            lastPcr = p.pcr;
            const qint64 o = qint32(be(d, 4, 4) - quint32(p.pcr / 300));
            offset = offset.value_or(o);
            QVERIFY2(!rtp || qAbs(o - *offset) <= 90 * 100, "RTP time off the PCR");
        }
    }
    // In real time from the start: a head-end sends no first-GOP burst.
    const qint64 spanMs = (lastPcr - firstPcr) / 27000;
    QVERIFY2(firstPcr >= 0 && spanMs > 0 && spanMs <= elapsed + 100,
        qPrintable(QStringLiteral("%1 ms of media in %2 ms").arg(spanMs).arg(elapsed)));
}

QTEST_GUILESS_MAIN(TestVendorServer)
#include "tst_vendorserver.moc"
