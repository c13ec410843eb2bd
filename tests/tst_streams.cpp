#include "guide/channelguide.h"
#include "netsupport.h"
#include "pageprobe.h"
#include "viewerfixture.h"
#include "webview/playerview.h"
#include "x11probe.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(StreamKind)

// Live streams through the real player: the bundled site serves a sliding
// HLS playlist, an endless HTTP-FLV stream and MPEG-TS relays, all without
// CORS headers, as IPTV servers do.
class tst_Streams : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void kindsPlay_data();
    void kindsPlay();
    void redirectToAnotherHost();
    void deadStreamsEnd();
    void hostileAddressesRunNothing_data();
    void hostileAddressesRunNothing();
    void stopEndsTheStream_data();
    void stopEndsTheStream();
    void dropIsReconnected_data();
    void dropIsReconnected();
    void fullScreenAndKeys();

private:
    PlayerView *player() const { return m_f.window->form()->player; }
    QWebEnginePage *page() const { return player()->silentPage(); }
    static QVariant js(QWebEnginePage *p, const QString &script)
    {
        return PageProbe::run(p, script);
    }
    static QString state(QWebEnginePage *p)
    {
        return js(p, QStringLiteral("document.documentElement.dataset.state || ''")).toString();
    }
    static bool waitState(QWebEnginePage *p, const QString &wanted, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (state(p) == wanted)
                return true;
            PageProbe::settle(200);
        }
        return false;
    }
    // The stream page shows a moving picture. Live streams start near their
    // edge, so the time itself says nothing until it moves on.
    bool streamPlays()
    {
        return waitState(page(), "playing", 15000)
            && PageProbe::waitPlaying(page(), PageProbe::videoTime(page()) + 0.5);
    }
    // Channels name;url for each path on the fixture server, then Watch.
    void watch(const QStringList &paths)
    {
        QString text;
        for (int i = 0; i < paths.size(); ++i)
            text += QStringLiteral("直播%1;%2%3\r\n").arg(i).arg(m_f.server->baseUrl(), paths[i]);
        m_f.window->guide()->loadList(text);
        m_f.window->form()->watchButton->click();
    }
    int requestsUnder(const QByteArray &prefix) const
    {
        int n = 0;
        for (const auto &r : m_f.server->requests())
            n += r.path.startsWith(prefix);
        return n;
    }
    static bool haveLiveMedia()
    {
        return QFile::exists(QStringLiteral(SITE_DIR "/media/live/14.flv"))
            && QFile::exists(QStringLiteral(SITE_DIR "/media/live/15.ts"))
            && QFile::exists(QStringLiteral(SITE_DIR "/media/live/hls/seg000.ts"));
    }

    ViewerFixture m_f;
};

void tst_Streams::initTestCase()
{
    installChineseTranslations();
}

void tst_Streams::init()
{
    if (!haveLiveMedia())
        QSKIP("live demo media not generated (site/setup.sh)");
    QVERIFY(m_f.setUp());
    m_f.window->form()->tabs->setCurrentIndex(1);
    QVERIFY(m_f.show());
}

void tst_Streams::cleanup()
{
    m_f.tearDown();
}

void tst_Streams::kindsPlay_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("file"); // when set, served at path with routedType
    QTest::addColumn<QByteArray>("routedType");
    QTest::addColumn<StreamKind>("kind");
    QTest::addColumn<double>("advance"); // seconds the picture must move on

    QTest::newRow("live HLS") << "/live/hls/index.m3u8" << QString() << QByteArray()
                              << StreamKind::Hls << 1.0;
    QTest::newRow("HTTP-FLV") << "/live/flv/14.flv" << QString() << QByteArray() << StreamKind::Flv
                              << 1.0;
    QTest::newRow("MPEG-TS relay")
        << "/udp/239.3.1.1:8000" << QString() << QByteArray() << StreamKind::MpegTs << 1.0;
    QTest::newRow("relay saying octet-stream")
        << "/rtp/239.3.1.2:5140" << QString() << QByteArray() << StreamKind::MpegTs << 1.0;
    QTest::newRow("HLS playlist saying octet-stream")
        << "/live/hls/vod.m3u8"
        << "live/hls/source.m3u8" << QByteArray("application/octet-stream") << StreamKind::Hls
        << 1.0;
    QTest::newRow("HLS playlist as text/plain")
        << "/live/hls/text.m3u8"
        << "live/hls/source.m3u8" << QByteArray("text/plain; charset=utf-8") << StreamKind::Hls
        << 1.0;
    // A whole 60 s file at once: the live player keeps to its end, so the
    // picture has little left to move on.
    QTest::newRow("FLV file with no media type")
        << "/plain/14.flv"
        << "live/14.flv" << QByteArray("") << StreamKind::Flv << 0.1;
}

void tst_Streams::kindsPlay()
{
    QFETCH(QString, path);
    QFETCH(QString, file);
    QFETCH(QByteArray, routedType);
    QFETCH(StreamKind, kind);
    QFETCH(double, advance);
    if (!file.isEmpty()) {
        QFile media(QStringLiteral(SITE_DIR "/media/") + file);
        QVERIFY(media.open(QIODevice::ReadOnly));
        VendorServer::Response r;
        r.contentType = routedType;
        r.body = media.readAll();
        m_f.server->setRoute(path, r);
    }
    watch({path});
    QTRY_COMPARE_WITH_TIMEOUT(player()->streamKind(), kind, 10000);
    QVERIFY(waitState(page(), "playing", 15000));
    // A live stream starts near its edge, not at 0: its time must move on.
    QVERIFY(PageProbe::waitPlaying(page(), PageProbe::videoTime(page()) + advance));
    QCOMPARE(player()->url(), QUrl(m_f.server->baseUrl() + path));
    // Heard: neither the video nor the page is muted.
    const QVariantList v = js(page(),
        QStringLiteral("(function(){var v=document.getElementById('tv');"
                       "return [v.muted,v.volume,document.getElementById('status').hidden,"
                       "v.controls];})()"))
                               .toList();
    QCOMPARE(v.size(), 4);
    QVERIFY2(v[3].toBool(), "no controls (fullscreen button) over the picture");
    QCOMPARE(v[0].toBool(), false);
    QVERIFY(v[1].toDouble() > 0);
    QVERIFY2(v[2].toBool(), "the status line stays over a playing picture");
    QVERIFY(!page()->isAudioMuted());
    // The whole picture is on screen: none of it under the window's frame,
    // where the view's top sits.
    QVERIFY(player()->y() < 0);
    const QVariantList box = js(page(),
        QStringLiteral("(function(){var r=document.getElementById('tv')"
                       ".getBoundingClientRect();return [r.top,r.bottom];})()"))
                                 .toList();
    QCOMPARE(box.value(0).toInt(), -player()->y());
    QCOMPARE(box.value(1).toInt(), player()->height());
}

// Live CDNs send the player on to an edge host. The stream page takes the
// address the answer came from, so the stream is still same-origin there.
void tst_Streams::redirectToAnotherHost()
{
    VendorServer edge;
    serveSite(&edge);
    QVERIFY(edge.listen());
    const QByteArray target = edge.baseUrl().toUtf8() + "/live/flv/14.flv";
    VendorServer::Response hop;
    hop.status = 302;
    hop.body = "moved";
    hop.headers = {{"Location", target}};
    m_f.server->setRoute("/hop.flv", hop);
    watch({"/hop.flv"});
    QTRY_COMPARE_WITH_TIMEOUT(player()->streamKind(), StreamKind::Flv, 10000);
    QVERIFY(streamPlays());
    QCOMPARE(player()->url(), QUrl(QString::fromUtf8(target)));
    m_f.window->form()->stopButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(edge.openStreamCount(), 0, 10000);
}

// Never spins forever: a stream that cannot be played ends in a clear state
// with the reason, within a minute of nothing coming.
void tst_Streams::deadStreamsEnd()
{
    VendorServer::Response down;
    down.status = 503;
    down.body = "busy";
    m_f.server->setRoute("/down/index.m3u8", down);
    VendorServer::Response zip;
    zip.contentType = "application/zip";
    zip.body = "PK\x03\x04";
    m_f.server->setRoute("/file.zip", zip);
    VendorServer::Response noise;
    noise.contentType = "application/vnd.apple.mpegurl";
    noise.body = "<html>not a playlist</html>";
    m_f.server->setRoute("/noise.m3u8", noise);
    // A web server's error page under the stream's type.
    VendorServer::Response notFlv;
    notFlv.contentType = "video/x-flv";
    notFlv.body
        = "<!DOCTYPE html><html><body><h1>Gateway</h1>" + QByteArray(2000, 'x') + "</body></html>";
    m_f.server->setRoute("/noise.flv", notFlv);
    VendorServer::Response binary = zip;
    binary.contentType = "application/octet-stream";
    m_f.server->setRoute("/download", binary);

    const QString base = m_f.server->baseUrl();
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
    const struct {
        QString url, reason;
        bool quick; // known at once, no retrying
    } rows[] = {
        {refused + "/live/index.m3u8", QStringLiteral("无法连接"), false},
        {refused + "/udp/239.1.1.1:1234", QStringLiteral("无法连接"), false},
        {base + "/down/index.m3u8", QStringLiteral("服务器错误 503"), false},
        {base + "/file.zip", QStringLiteral("格式不支持"), true},
        {base + "/download", QStringLiteral("格式不支持"), true},
        {base + "/noise.m3u8", QStringLiteral("格式不支持"), true},
        {base + "/noise.flv", QStringLiteral("格式不支持"), true},
    };
    // Each in a player of its own, side by side, so the minute is waited once.
    std::vector<std::unique_ptr<PlayerView>> players;
    QElapsedTimer clock;
    clock.start();
    for (const auto &row : rows) {
        players.push_back(std::make_unique<PlayerView>());
        players.back()->resize(160, 120);
        players.back()->show();
        players.back()->navigate(QUrl(row.url));
    }
    auto ended = [&](int i) { return state(players[i]->silentPage()) == "ended"; };
    for (int i = 0; i < int(std::size(rows)); ++i) {
        if (rows[i].quick)
            QVERIFY2(waitState(players[i]->silentPage(), "ended", 15000), qPrintable(rows[i].url));
    }
    for (int i = 0; i < int(std::size(rows)); ++i) {
        if (rows[i].quick)
            continue;
        // Still trying, and saying so, well before the minute is up.
        QVERIFY2(!ended(i), qPrintable(rows[i].url));
        QCOMPARE(js(players[i]->silentPage(), "document.getElementById('headline').textContent")
                     .toString(),
            QStringLiteral("正在连接…"));
    }
    const int requestsWhileTrying = requestsUnder("/down/");
    for (int i = 0; i < int(std::size(rows)); ++i)
        QVERIFY2(waitState(players[i]->silentPage(), "ended", 80000 - int(clock.elapsed())),
            qPrintable(rows[i].url));
    QVERIFY2(clock.elapsed() >= 55000, "gave up before a minute of nothing");
    for (int i = 0; i < int(std::size(rows)); ++i) {
        QWebEnginePage *p = players[i]->silentPage();
        QCOMPARE(js(p, "document.getElementById('headline').textContent").toString(),
            QStringLiteral("无法播放此频道"));
        QCOMPARE(js(p, "document.getElementById('reason').textContent").toString(), rows[i].reason);
    }
    // It tried again, with growing pauses rather than a busy loop, and then stopped.
    const int requestsAtEnd = requestsUnder("/down/");
    QVERIFY2(requestsAtEnd > requestsWhileTrying && requestsAtEnd <= 30,
        qPrintable(QString::number(requestsAtEnd)));
    PageProbe::settle(3000);
    QCOMPARE(requestsUnder("/down/"), requestsAtEnd);
}

void tst_Streams::hostileAddressesRunNothing_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("markup in the query") << "?q=\"><script>window.pwned=1</script>";
    QTest::newRow("closing script") << "?q=</script><script>window.pwned=1</script><!--";
    QTest::newRow("quotes and handler") << "?q=' onerror='window.pwned=1' x='";
    QTest::newRow("javascript: in the query") << "?next=javascript:window.pwned=1";
    QTest::newRow("markup in the fragment") << "#\"><img src=x onerror=window.pwned=1>";
}

void tst_Streams::hostileAddressesRunNothing()
{
    QFETCH(QString, suffix);
    watch({QStringLiteral("/live/flv/14.flv") + suffix});
    QTRY_COMPARE_WITH_TIMEOUT(player()->streamKind(), StreamKind::Flv, 10000);
    QVERIFY(streamPlays());
    QCOMPARE(js(page(), "typeof window.pwned").toString(), QStringLiteral("undefined"));
    // Only the page's own two scripts, and nothing of the address as markup.
    QCOMPARE(js(page(), "document.scripts.length").toInt(), 2);
    QCOMPARE(js(page(), "document.querySelectorAll('img,iframe,object,embed').length").toInt(), 0);
    QCOMPARE(js(page(), "document.body.innerHTML.indexOf('pwned')").toInt(), -1);
}

void tst_Streams::stopEndsTheStream_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("HLS") << "/live/hls/index.m3u8" << QByteArray("/live/hls/");
    QTest::newRow("HTTP-FLV") << "/live/flv/14.flv" << QByteArray("/live/flv/");
    QTest::newRow("MPEG-TS") << "/udp/239.3.1.1:8000" << QByteArray("/udp/");
}

void tst_Streams::stopEndsTheStream()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, prefix);
    watch({path});
    QVERIFY(streamPlays());
    m_f.window->form()->stopButton->click();
    QVERIFY(page()->isAudioMuted());
    QTRY_COMPARE_WITH_TIMEOUT(player()->url(), QUrl(m_f.server->baseUrl() + "/zavomsg.htm"), 10000);
    QCOMPARE(player()->streamKind(), StreamKind::None);
    QTRY_COMPARE_WITH_TIMEOUT(m_f.server->openStreamCount(), 0, 5000);
    // No request for the stream after Stop (HLS would reload its playlist every 2 s).
    const int requests = requestsUnder(prefix);
    PageProbe::settle(4500);
    QCOMPARE(requestsUnder(prefix), requests);
}

void tst_Streams::dropIsReconnected_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("wholeServer"); // the server goes away, not just the stream
    QTest::newRow("HTTP-FLV cut") << "/live/flv/14.flv" << false;
    QTest::newRow("MPEG-TS cut") << "/udp/239.3.1.1:8000" << false;
    QTest::newRow("HLS server away for 6 s") << "/live/hls/index.m3u8" << true;
}

void tst_Streams::dropIsReconnected()
{
    QFETCH(QString, path);
    QFETCH(bool, wholeServer);
    watch({path});
    QVERIFY(streamPlays());
    // Every state the page passes through from here on.
    js(page(),
        "window.seen=[];new MutationObserver(function(){window.seen.push("
        "document.documentElement.dataset.state+' '+document.getElementById('headline')"
        ".textContent)}).observe(document.documentElement,{attributes:true});");
    const int before = int(m_f.server->requests().size());
    if (wholeServer) {
        const quint16 port = m_f.server->port();
        m_f.server->close();
        m_f.server->dropStreams();
        QVERIFY(waitState(page(), "reconnecting", 30000));
        PageProbe::settle(1000);
        QVERIFY(m_f.server->listen(port));
    } else {
        m_f.server->dropStreams();
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        js(page(), "window.seen.indexOf('reconnecting 信号中断，正在重新连接…')>=0").toBool(),
        30000);
    QVERIFY(waitState(page(), "playing", 40000));
    const double t = PageProbe::videoTime(page());
    QVERIFY2(PageProbe::waitPlaying(page(), t + 1.0), "no picture after reconnecting");
    QVERIFY(int(m_f.server->requests().size()) > before);
    QVERIFY(!page()->isAudioMuted());
}

void tst_Streams::fullScreenAndKeys()
{
    // A double-click on the picture, as a viewer does.
    auto doubleClickIntoFullScreen = [this] {
        X11Probe::clickAt(player(), QPoint(208, 200), 1, 2);
        return QTest::qWaitFor([this] { return player()->isFullScreen(); }, 10000)
            && js(page(), "document.fullscreenElement ? document.fullscreenElement.id : ''")
                   .toString()
            == QLatin1String("tv")
            && QTest::qWaitFor([this] { return player()->isActiveWindow(); }, 5000);
    };
    watch({"/live/hls/index.m3u8", "/live/flv/14.flv"});
    QVERIFY(streamPlays());
    const QRect before = m_f.window->geometry();
    m_f.window->activateWindow();

    // Page Down and Page Up switch channels from fullscreen, and leave it.
    const struct {
        const char *key;
        int row;
        StreamKind kind;
    } steps[] = {{"Next", 1, StreamKind::Flv}, {"Prior", 0, StreamKind::Hls}};
    for (const auto &step : steps) {
        QVERIFY2(doubleClickIntoFullScreen(), step.key);
        X11Probe::xdotool({"key", step.key});
        QTRY_COMPARE_WITH_TIMEOUT(m_f.selectedRow(), step.row, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!player()->isFullScreen(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(player()->streamKind(), step.kind, 10000);
        QVERIFY(streamPlays());
        QCOMPARE(m_f.window->geometry(), before);
    }

    // Esc leaves fullscreen; the stream plays on.
    QVERIFY(doubleClickIntoFullScreen());
    X11Probe::xdotool({"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(!player()->isFullScreen(), 10000);
    QCOMPARE(m_f.window->geometry(), before);
    QVERIFY(PageProbe::waitPlaying(page(), PageProbe::videoTime(page()) + 0.5));

    // No context menu over the stream page either.
    X11Probe::clickAt(player(), QPoint(100, 150), 3);
    auto menuShown = [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu *>(w) && w->isVisible())
                return true;
        return false;
    };
    QVERIFY(!QTest::qWaitFor(menuShown, 800));
}

QTEST_MAIN(tst_Streams)
#include "tst_streams.moc"
