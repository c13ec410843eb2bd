#include "vendorserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

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

QTEST_GUILESS_MAIN(TestVendorServer)
#include "tst_vendorserver.moc"
