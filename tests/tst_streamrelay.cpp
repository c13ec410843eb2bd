#include "player/streamrelay.h"
#include "streambytes.h"
#include "vendorserver.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// The relay between the stream page and the network, driven as the page
// would drive it, against fixture servers.
class tst_StreamRelay : public QObject {
    Q_OBJECT
private slots:
    void refused_data();
    void refused();
    void playlistPointsBack();
    void slowPageHoldsBoundedMemory_data();
    void slowPageHoldsBoundedMemory();
    void segmentArrivesWhole();

private:
    struct Answer {
        int status = 0;
        QByteArray head, body;
    };
    // A page's request: the relay's own host and origin unless given.
    static Answer get(const QUrl &url, const QList<QByteArray> &fields = {}, qsizetype enough = -1,
        const QByteArray &method = "GET")
    {
        QTcpSocket socket;
        socket.connectToHost(url.host(), url.port());
        if (!socket.waitForConnected(5000))
            return {};
        QByteArray request = method + ' '
            + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + " HTTP/1.1\r\n";
        const bool ownHost = !std::any_of(fields.begin(), fields.end(),
            [](const QByteArray &f) { return f.startsWith("Host:"); });
        if (ownHost)
            request += "Host: " + url.authority().toLatin1() + "\r\n";
        for (const QByteArray &f : fields)
            request += f + "\r\n";
        socket.write(request + "\r\n");
        Answer a;
        QByteArray all;
        QDeadlineTimer deadline(15000);
        // The relay answers from this thread's event loop.
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()
            && (enough < 0 || all.size() < enough)) {
            QTest::qWait(10);
            all += socket.readAll();
        }
        all += socket.readAll();
        const qsizetype end = all.indexOf("\r\n\r\n");
        a.head = all.left(end);
        a.body = all.mid(end + 4);
        a.status = a.head.split(' ').value(1).toInt();
        if (a.head.contains("Transfer-Encoding: chunked"))
            a.body = unchunked(a.body);
        return a;
    }
    static QByteArray unchunked(const QByteArray &bytes)
    {
        QByteArray out;
        for (qsizetype at = 0; at < bytes.size();) {
            const qsizetype line = bytes.indexOf("\r\n", at);
            const qsizetype size = bytes.mid(at, line - at).toLongLong(nullptr, 16);
            if (line < 0 || size <= 0)
                break;
            out += bytes.mid(line + 2, size);
            at = line + 2 + size + 2;
        }
        return out;
    }
    static VendorServer::Response text(const QByteArray &body, int status = 200)
    {
        VendorServer::Response r;
        r.status = status;
        r.body = body;
        return r;
    }
    VendorServer m_server;
};

void tst_StreamRelay::refused_data()
{
    QTest::addColumn<QString>("path"); // under the stream's token; "-" for another token
    QTest::addColumn<QList<QByteArray>>("fields");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<int>("status");

    using F = QList<QByteArray>;
    QTest::newRow("the stream itself") << QString() << F {} << QByteArray("GET") << 200;
    QTest::newRow("a token it did not issue") << "-" << F {} << QByteArray("GET") << 403;
    QTest::newRow("another origin")
        << QString() << F {"Origin: http://evil.test"} << QByteArray("GET") << 403;
    QTest::newRow("asked from another site")
        << QString() << F {"Sec-Fetch-Site: cross-site"} << QByteArray("GET") << 403;
    QTest::newRow("another host name")
        << QString() << F {"Host: evil.test"} << QByteArray("GET") << 403;
    QTest::newRow("not a GET") << QString() << F {} << QByteArray("POST") << 405;
    QTest::newRow("a file") << "u/ZmlsZTovLy9ldGMvcGFzc3dk" << F {} << QByteArray("GET") << 403;
    QTest::newRow("the relay itself") << "relay" << F {} << QByteArray("GET") << 403;
}

void tst_StreamRelay::refused()
{
    QFETCH(QString, path);
    QFETCH(QList<QByteArray>, fields);
    QFETCH(QByteArray, method);
    QFETCH(int, status);

    m_server.setRoute("/a.ts", text("plain bytes"));
    QVERIFY(m_server.listen());
    m_server.clearRequests();
    StreamRelay relay;
    const StreamRelay::Stream stream = relay.open(QUrl(m_server.baseUrl() + "/a.ts"), {});
    QUrl url = stream.entry;
    if (path == u"-")
        url.setPath(url.path().replace(QString::fromLatin1(stream.token), QString(32, u'0')));
    else if (path == u"relay")
        url.setPath(stream.pageBase.path() + "u/"
            + QString::fromLatin1(
                stream.entry.toEncoded().toBase64(QByteArray::Base64UrlEncoding)));
    else if (!path.isEmpty())
        url.setPath(stream.pageBase.path() + path);
    const Answer answer = get(url, fields, -1, method);
    QCOMPARE(answer.status, status);
    QCOMPARE(m_server.requests().size(), status == 200 ? 1 : 0);
    if (status == 200)
        QCOMPARE(answer.body, QByteArray("plain bytes"));
}

// Every address in a playlist comes back through the relay, resolved
// against where the playlist finally came from; a CDN's segments play
// without CORS, anything else is dropped. The channel's own headers go with
// every request, the redirect's too.
void tst_StreamRelay::playlistPointsBack()
{
    VendorServer cdn;
    cdn.setRoute("/seg/1.ts", text("segment one"));
    cdn.setRoute("/k/key", text("key"));
    QVERIFY(cdn.listen());
    cdn.setRoute("/live/index.m3u8",
        text("#EXTM3U\r\n#EXT-X-KEY:METHOD=AES-128,URI=\"../k/key\"\r\n#EXTINF:2,\r\n"
             "../seg/1.ts\r\n#EXTINF:2,\r\nfile:///etc/passwd\r\n"));
    VendorServer::Response hop = text("moved", 302);
    hop.headers = {{"Location", cdn.baseUrl().toUtf8() + "/live/index.m3u8"}};
    m_server.setRoute("/index.m3u8", hop);
    QVERIFY(m_server.listen());

    m_server.clearRequests();
    StreamRelay relay;
    const StreamRelay::Stream stream
        = relay.open(QUrl(m_server.baseUrl() + "/index.m3u8"), {{"Referer", "http://tv.test/"}});
    const Answer playlist = get(stream.entry);
    QCOMPARE(playlist.status, 200);
    QVERIFY2(!playlist.body.contains("passwd"), playlist.body);
    QList<QByteArray> uris;
    for (const QByteArray &line : playlist.body.split('\n')) {
        if (line.startsWith("#EXT-X-KEY"))
            uris << line.mid(line.indexOf("URI=\"") + 5).chopped(1);
        else if (!line.isEmpty() && !line.startsWith('#'))
            uris << line;
    }
    QCOMPARE(uris.size(), 2);
    for (const QByteArray &uri : uris)
        QVERIFY2(uri.startsWith(stream.pageBase.toEncoded()), uri);
    QCOMPARE(get(QUrl::fromEncoded(uris[0])).body, QByteArray("key"));
    QCOMPARE(get(QUrl::fromEncoded(uris[1])).body, QByteArray("segment one"));
    QStringList asked;
    for (const auto &r : m_server.requests() + cdn.requests())
        asked << QString::fromLatin1(r.path + ' ' + r.header("Referer"));
    QCOMPARE(asked,
        QStringList({"/index.m3u8 http://tv.test/", "/live/index.m3u8 http://tv.test/",
            "/k/key http://tv.test/", "/seg/1.ts http://tv.test/"}));
}

// A source far faster than the page: the relay keeps reading it and drops
// the oldest, so what it holds stays bounded, whatever the body.
void tst_StreamRelay::slowPageHoldsBoundedMemory_data()
{
    using namespace StreamBytes;
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("bytes") << QByteArray() << QByteArray(1 << 20, 'x');
    QTest::newRow("mpeg-ts") << pat + pmt(h264Aac) << media.repeated(1860);
    const QByteArray hugeTag = flvTag(9, "\x17\x01").left(11).replace(1, 3, "\xFF\xFF\xFF");
    QTest::newRow("flv, tags of 16 MiB") << flvHeader(1) + hugeTag << QByteArray(1 << 20, '\x09');
}

void tst_StreamRelay::slowPageHoldsBoundedMemory()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, block);
    QTcpServer source;
    QVERIFY(source.listen(QHostAddress::LocalHost));
    qint64 sent = 0;
    connect(&source, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *s = source.nextPendingConnection();
        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                 "Content-Length: 2147483648\r\n\r\n"
            + head);
        auto more = [s, &sent, block] {
            while (s->bytesToWrite() < (4 << 20) && sent < (qint64(2) << 30)) {
                s->write(block);
                sent += block.size();
            }
        };
        connect(s, &QTcpSocket::bytesWritten, s, more);
        more();
    });
    StreamRelay relay;
    const StreamRelay::Stream stream
        = relay.open(QUrl(QStringLiteral("http://127.0.0.1:%1/big").arg(source.serverPort())), {});
    QTcpSocket page; // asks, then reads nothing
    page.connectToHost(stream.entry.host(), stream.entry.port());
    QVERIFY(page.waitForConnected(5000));
    page.setReadBufferSize(64 * 1024);
    page.write("GET " + stream.entry.path().toLatin1()
        + " HTTP/1.1\r\nHost: " + stream.entry.authority().toLatin1() + "\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(sent > 4 * StreamRelay::MaxBacklog, 60000);
    QVERIFY2(relay.heldBytes() <= StreamRelay::MaxBacklog,
        qPrintable(QString::number(relay.heldBytes())));
    page.setReadBufferSize(0);
    QTRY_VERIFY(page.bytesAvailable() > 1 << 20);
}

// A finite TS (an HLS segment) arrives whole, its last packet too.
void tst_StreamRelay::segmentArrivesWhole()
{
    QFile clip(QStringLiteral(SITE_DIR "/media/live/15.ts"));
    if (!clip.open(QIODevice::ReadOnly))
        QSKIP("live demo media not generated (site/setup.sh)");
    VendorServer::Response segment = text(clip.read(188 * 50));
    segment.contentType = "video/mp2t";
    m_server.setRoute("/seg.ts", segment);
    QVERIFY(m_server.listen());
    StreamRelay relay;
    QCOMPARE(get(relay.open(QUrl(m_server.baseUrl() + "/seg.ts"), {}).entry).body, segment.body);
}

QTEST_GUILESS_MAIN(tst_StreamRelay)
#include "tst_streamrelay.moc"
