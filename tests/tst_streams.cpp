#include "app/tabcontrol.h"
#include "datagramsender.h"
#include "netsupport.h"
#include "pageprobe.h"
#include "soundprobe.h"
#include "viewerfixture.h"
#include "webview/playerview.h"
#include "x11probe.h"

#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

Q_DECLARE_METATYPE(StreamKind)

using namespace std::chrono_literals;

// The stream page's patience, short: give up after 12 s of nothing and
// pause from a quarter second up to 2 s between reconnections.
static const StreamTimings kTimings {12s, 250ms, 2s};

// Live streams through the real player: the bundled site serves a sliding
// HLS playlist, an endless HTTP-FLV stream and MPEG-TS relays, all without
// CORS headers, as IPTV servers do.
class tst_Streams : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void kindsPlay_data();
    void kindsPlay();
    void listedStreams_data();
    void listedStreams();
    void channelPageHeaders();
    void redirectToAnotherHost();
    void deadStreamsEnd();
    void failOver();
    void stopDuringSearch();
    void stopEndsTheStream_data();
    void stopEndsTheStream();
    void dropIsReconnected_data();
    void dropIsReconnected();
    void fullScreenAndKeys();
    void refusedAddress();

private:
    PlayerView *player() const { return m_f.player(); }
    QWebEnginePage *page() const { return player()->page(); }
    // The kind the stream page plays, as the page itself says; "" for any other page.
    QString pageText(const char *id) const
    {
        return js(page(),
            QStringLiteral("(function(){var e=document.getElementById('%1');"
                           "return e.hidden ? '' : e.textContent;})()")
                .arg(QLatin1String(id)))
            .toString();
    }
    QString shownKind() const
    {
        return js(page(), "document.documentElement.dataset.kind || ''").toString();
    }
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
        m_f.guide()->loadList(text);
        m_f.button("watchButton")->click();
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

void tst_Streams::init()
{
    if (!haveLiveMedia())
        QSKIP("live demo media not generated (site/setup.sh)");
    QVERIFY(m_f.setUp(0, true, [](ViewerOptions &o) { o.streamTimings = kTimings; }));
    m_f.part<TabControl>("tabs")->setCurrentIndex(1);
    QVERIFY(m_f.show());
}

void tst_Streams::cleanup()
{
    m_f.tearDown();
}

// One of each kind, each by another way the engine declines to show it:
// a playlist shown as text, a download offered by its type, and one by its
// address alone. Which answer is which kind is tst_streamkind's table.
void tst_Streams::kindsPlay_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("routedType"); // when set, the demo playlist under this type
    QTest::addColumn<StreamKind>("kind");

    QTest::newRow("HLS playlist as text/plain")
        << "/live/hls/text.m3u8" << QByteArray("text/plain; charset=utf-8") << StreamKind::Hls;
    // Scripts on the site: they send what they print as text/html.
    QTest::newRow("HLS playlist a script prints")
        << "/live.php?id=1" << QByteArray() << StreamKind::Hls;
    QTest::newRow("HTTP-FLV a script streams")
        << "/flv.php?id=3" << QByteArray() << StreamKind::Flv;
    // The address is only ever data to the stream page, never markup.
    QTest::newRow("HTTP-FLV, markup in the address")
        << "/live/flv/14.flv?q=\"><script>window.pwned=1</script>#\"><img src=x "
           "onerror=window.pwned=1>"
        << QByteArray() << StreamKind::Flv;
    QTest::newRow("MPEG-TS relay saying octet-stream")
        << "/rtp/239.3.1.2:5140" << QByteArray() << StreamKind::MpegTs;
}

void tst_Streams::kindsPlay()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, routedType);
    QFETCH(StreamKind, kind);
    if (!routedType.isEmpty()) {
        QFile playlist(QStringLiteral(SITE_DIR "/media/live/hls/source.m3u8"));
        QVERIFY(playlist.open(QIODevice::ReadOnly));
        VendorServer::Response r;
        r.contentType = routedType;
        r.body = playlist.readAll();
        m_f.server->setRoute(path, r);
    }
    watch({path});
    QTRY_COMPARE_WITH_TIMEOUT(shownKind(), QString(StreamKinds::name(kind)), 10000);
    QVERIFY(waitState(page(), "playing", 15000));
    // A live stream starts near its edge, not at 0: its time must move on.
    QVERIFY(PageProbe::waitPlaying(page(), PageProbe::videoTime(page()) + 1.0));
    // The page lives on the relay's origin, never the stream's.
    QVERIFY(player()->url().port() != m_f.server->port());
    QCOMPARE(js(page(), "typeof window.pwned").toString(), QStringLiteral("undefined"));
    QCOMPARE(js(page(), "document.querySelectorAll('img,iframe,object,embed').length").toInt(), 0);
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
    if (SoundProbe::available())
        QVERIFY(SoundProbe::waitFor([](double level) { return level > 0.01; }));
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

// Streams as operators' lists carry them, through the real window: what a
// person sees and hears of each.
void tst_Streams::listedStreams_data()
{
    QTest::addColumn<QString>("address"); // @SITE@, @SITE_ENCODED@, @PORT@ filled in
    QTest::addColumn<QString>("sender"); // datagrams to @PORT@: "udp", "rtp" or none
    QTest::addColumn<QString>("note"); // over the picture, which plays without sound
    QTest::addColumn<QString>("ended"); // the reason it cannot play at all

    QTest::newRow("HLS, segments from a CDN without CORS")
        << "@SITE@/cdn/hls/index.m3u8" << QString() << QString() << QString();
    QTest::newRow("HLS that wants its own Referer")
        << "@SITE@/guarded/hls/index.m3u8|Referer=@SITE_ENCODED@%2F" << QString() << QString()
        << QString();
    QTest::newRow("UDP") << "udp://@127.0.0.1:@PORT@"
                         << "udp" << QString() << QString();
    QTest::newRow("RTP") << "rtp://127.0.0.1:@PORT@"
                         << "rtp" << QString() << QString();
    QTest::newRow("UDP multicast") << "udp://@239.255.42.44:@PORT@"
                                   << "udp" << QString() << QString();
    QTest::newRow("H.264 with AC-3 sound")
        << "@SITE@/live/ac3/17.ts" << QString() << "不支持此伴音格式（AC-3）" << QString();
    QTest::newRow("H.265 HLS") << "@SITE@/live/hevc/index.m3u8" << QString() << QString()
                               << "格式不支持（H.265 视频）";
    QTest::newRow("MPEG-2 video, MP2 sound")
        << "@SITE@/live/mpeg2/18.ts" << QString() << QString() << "格式不支持（MPEG-2 视频）";
}

void tst_Streams::listedStreams()
{
    QFETCH(QString, address);
    QFETCH(QString, sender);
    QFETCH(QString, note);
    QFETCH(QString, ended);
    const QHostAddress group(
        QRegularExpression(QStringLiteral("^\\w+://@?([0-9.]+):")).match(address).captured(1));
    if (group.isMulticast() && !DatagramSender::multicastUnavailable().isEmpty())
        QSKIP(qPrintable(DatagramSender::multicastUnavailable()));
    QUdpSocket probe; // a free port for the channel
    QVERIFY(probe.bind(QHostAddress::AnyIPv4, 0));
    const quint16 port = probe.localPort();
    probe.close();
    std::unique_ptr<DatagramSender> datagrams;
    if (!sender.isEmpty())
        datagrams = std::make_unique<DatagramSender>(
            m_f.server->loopSource(QStringLiteral("15.ts")), group, port, sender == u"rtp");
    const QString site = m_f.server->baseUrl();
    address
        .replace(
            QStringLiteral("@SITE_ENCODED@"), QString::fromLatin1(QUrl::toPercentEncoding(site)))
        .replace(QStringLiteral("@SITE@"), site)
        .replace(QStringLiteral("@PORT@"), QString::number(port));
    m_f.guide()->loadList(QStringLiteral("一台;") + address + QStringLiteral("\r\n"));
    m_f.button("watchButton")->click();
    const QString silence = SoundProbe::unavailable();

    if (!ended.isEmpty()) {
        QVERIFY(waitState(page(), "ended", 15000));
        QCOMPARE(pageText("reason"), ended);
        // Known at once, and nothing more is asked for.
        const qsizetype asked = m_f.server->requests().size();
        PageProbe::settle(1500);
        QCOMPARE(m_f.server->requests().size(), asked);
        return;
    }
    QVERIFY(waitState(page(), "playing", 20000));
    const int frames = PageProbe::framesPresented(page());
    QTRY_VERIFY_WITH_TIMEOUT(PageProbe::framesPresented(page()) > frames + 25, 15000);
    QCOMPARE(pageText("note"), note);
    if (!silence.isEmpty())
        QSKIP(qPrintable("the picture plays; the sound cannot be checked: " + silence));
    if (note.isEmpty())
        QVERIFY(SoundProbe::waitFor([](double level) { return level > 0.01; }));
    else
        QVERIFY(SoundProbe::level(1000) < 0.001);
}

// A channel page that wants its own headers gets them with its request.
void tst_Streams::channelPageHeaders()
{
    VendorServer::Response page;
    page.contentType = "text/html";
    page.body = "<html><body>channel</body></html>";
    m_f.server->setRoute("/ch", page);
    m_f.guide()->loadList(
        "一台;" + m_f.server->baseUrl() + "/ch|Referer=http%3A%2F%2Ftv.test%2F&User-Agent=Box\r\n");
    m_f.button("watchButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(requestsUnder("/ch") > 0, 10000);
    const QList<VendorServer::Request> requests = m_f.server->requests();
    const auto asked = std::find_if(
        requests.begin(), requests.end(), [](const auto &r) { return r.path == "/ch"; });
    QCOMPARE(asked->header("Referer"), QByteArray("http://tv.test/"));
    QCOMPARE(asked->header("User-Agent"), QByteArray("Box"));
}

// Live CDNs send the player on to an edge host; the relay follows.
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
    QTRY_COMPARE_WITH_TIMEOUT(shownKind(), QString(StreamKinds::name(StreamKind::Flv)), 10000);
    QVERIFY(streamPlays());
    m_f.button("stopButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(edge.openStreamCount(), 0, 10000);
}

// Never spins forever: a stream that cannot be played ends in a clear state
// with the reason, at once or once nothing has come for the give-up time.
void tst_Streams::deadStreamsEnd()
{
    VendorServer::Response down;
    down.status = 503;
    down.body = "busy";
    m_f.server->setRoute("/down/index.m3u8", down);
    m_f.server->setRoute("/down/live.flv", down);
    VendorServer::Response silent;
    silent.neverAnswer = true;
    m_f.server->setRoute("/silent.m3u8", silent);
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
        bool quick; // judged without waiting for a first picture's bound
    } rows[] = {
        {refused + "/live/index.m3u8", QStringLiteral("无法连接"), true},
        {refused + "/udp/239.1.1.1:1234", QStringLiteral("无法连接"), true},
        {base + "/gone.flv", QStringLiteral("服务器错误 404"), true},
        {base + "/down/index.m3u8", QStringLiteral("服务器错误 503"), false},
        {base + "/down/live.flv", QStringLiteral("服务器错误 503"), false},
        {base + "/silent.m3u8", QStringLiteral("无法连接"), false},
        {base + "/file.zip", QStringLiteral("格式不支持"), true},
        {base + "/download", QStringLiteral("格式不支持"), true},
        {base + "/noise.m3u8", QStringLiteral("格式不支持"), true},
        {base + "/noise.flv", QStringLiteral("格式不支持"), true},
    };
    const size_t n = std::size(rows);
    // Each in a player of its own, side by side, so the bound is waited once.
    StreamTimings timings = kTimings;
    timings.firstPicture = 8s;
    std::vector<std::unique_ptr<PlayerView>> players;
    QElapsedTimer clock;
    clock.start();
    for (const auto &row : rows) {
        players.push_back(std::make_unique<PlayerView>());
        players.back()->setStreamTimings(timings);
        players.back()->resize(160, 120);
        players.back()->show();
        players.back()->navigate(QUrl(row.url));
    }
    auto text = [&](size_t i, const char *id) {
        return js(players[i]->page(),
            QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id)))
            .toString();
    };
    // While the FLV is asked for again and again, all that retry say they are connecting.
    QTRY_VERIFY_WITH_TIMEOUT(requestsUnder("/down/live.flv") >= 3, 10000);
    for (size_t i = 0; i < n; ++i) {
        if (rows[i].reason.startsWith(QStringLiteral("服务器错误 5")))
            QCOMPARE(text(i, "headline"), QStringLiteral("正在连接…"));
    }
    std::vector<qint64> endedAt(n, -1); // as first seen
    const QDeadlineTimer deadline(timings.firstPicture + 15s);
    while (std::count(endedAt.begin(), endedAt.end(), -1) && !deadline.hasExpired()) {
        for (size_t i = 0; i < n; ++i) {
            if (endedAt[i] < 0 && state(players[i]->page()) == QLatin1String("ended"))
                endedAt[i] = clock.elapsed();
        }
        PageProbe::settle(100);
    }
    const qint64 bound = timings.firstPicture.count();
    for (size_t i = 0; i < n; ++i) {
        const bool inTime = rows[i].quick
            ? endedAt[i] < bound
            : endedAt[i] >= bound && endedAt[i] < kTimings.giveUp.count();
        QVERIFY2(endedAt[i] >= 0 && inTime,
            qPrintable(QStringLiteral("%1 ended at %2 ms").arg(rows[i].url).arg(endedAt[i])));
        QCOMPARE(text(i, "headline"), QStringLiteral("无法播放此频道"));
        QCOMPARE(text(i, "reason"), rows[i].reason);
    }
    // It tried again, with growing pauses rather than a busy loop (a quarter
    // second throughout would be some forty requests), and then stopped.
    const int requests = requestsUnder("/down/live.flv");
    QVERIFY2(requests >= 4 && requests <= 15, qPrintable(QString::number(requests)));
    PageProbe::settle(int(kTimings.longestPause.count()) + 1000);
    QCOMPARE(requestsUnder("/down/live.flv"), requests);
}

// A channel as lists gathered from many sources carry it: two dead rows,
// under the same name written three ways, then one that plays.
void tst_Streams::failOver()
{
    VendorServer::Response gone;
    gone.status = 404;
    gone.contentType = "text/html";
    gone.body = "<html><body>404</body></html>";
    m_f.server->setRoute("/gone/index.m3u8", gone);
    const QString base = m_f.server->baseUrl();
    m_f.guide()->loadList(QStringLiteral("CCTV-1;http://127.0.0.1:%1/live/index.m3u8\r\n"
                                         "CCTV-1体育;%2/live/flv/14.flv\r\n"
                                         "cctv 1;%2/gone/index.m3u8\r\n"
                                         "ＣＣＴＶ－１;%2/live/hls/index.m3u8\r\n")
                              .arg(closedPort())
                              .arg(base));
    m_f.button("watchButton")->click();
    QVERIFY(streamPlays());
    QCOMPARE(m_f.selectedRow(), 3);
    QCOMPARE(pageText("line"), QStringLiteral("线路 3/3"));
    QCOMPARE(requestsUnder("/live/flv/"), 0);
}

// Stop while a silent row is being waited for: its failure, when its time
// is up, asks for no other row.
void tst_Streams::stopDuringSearch()
{
    StreamTimings timings = kTimings;
    timings.firstPicture = 2s;
    player()->setStreamTimings(timings);
    VendorServer::Response silent;
    silent.neverAnswer = true;
    m_f.server->setRoute("/silent/index.m3u8", silent);
    m_f.guide()->loadList(QStringLiteral("一台;http://127.0.0.1:%1/a.m3u8\r\n"
                                         "一台;%2/silent/index.m3u8\r\n"
                                         "一台;%2/live/hls/index.m3u8\r\n")
                              .arg(closedPort())
                              .arg(m_f.server->baseUrl()));
    m_f.button("watchButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(requestsUnder("/silent/") > 0, 10000);
    QCOMPARE(m_f.selectedRow(), 1);
    m_f.button("stopButton")->click();
    PageProbe::settle(int(timings.firstPicture.count()) + 1500);
    QCOMPARE(requestsUnder("/live/hls/"), 0);
    QCOMPARE(m_f.selectedRow(), 1);
    QCOMPARE(player()->url(), QUrl(VendorSite(m_f.server->baseUrl()).stopPage()));
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
    m_f.button("stopButton")->click();
    QVERIFY(page()->isAudioMuted());
    const QUrl stopPage(VendorSite(m_f.server->baseUrl()).stopPage());
    QTRY_VERIFY_WITH_TIMEOUT(player()->url() == stopPage
            && js(page(), "document.readyState").toString() == QLatin1String("complete"),
        10000);
    QCOMPARE(shownKind(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_f.server->openStreamCount(), 0, 5000);
    // No request for the stream once the stop page is in (HLS would reload
    // its playlist every 2 s).
    const int requests = requestsUnder(prefix);
    PageProbe::settle(3000);
    QCOMPARE(requestsUnder(prefix), requests);
}

void tst_Streams::dropIsReconnected_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("wholeServer"); // the server goes away, not just the stream
    QTest::newRow("HTTP-FLV cut") << "/live/flv/14.flv" << false;
    QTest::newRow("MPEG-TS cut") << "/udp/239.3.1.1:8000" << false;
    QTest::newRow("HLS server away") << "/live/hls/index.m3u8" << true;
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

    // Page Down and Page Up switch channels in fullscreen and stay there;
    // Esc leaves.
    const struct {
        const char *key;
        int row;
        StreamKind kind;
    } steps[] = {{"Next", 1, StreamKind::Flv}, {"Prior", 0, StreamKind::Hls}};
    for (const auto &step : steps) {
        QVERIFY2(doubleClickIntoFullScreen(), step.key);
        X11Probe::xdotool({"key", step.key});
        QTRY_COMPARE_WITH_TIMEOUT(m_f.selectedRow(), step.row, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(shownKind(), QString(StreamKinds::name(step.kind)), 10000);
        QVERIFY(streamPlays());
        QVERIFY(player()->isFullScreen());
        X11Probe::xdotool({"key", "Escape"});
        QTRY_VERIFY_WITH_TIMEOUT(!player()->isFullScreen(), 10000);
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

// A channel whose address the player may not load: the stream being left
// stops and the page says why; which addresses are refused is the guide's table.
void tst_Streams::refusedAddress()
{
    m_f.guide()->loadList(QStringLiteral("直播;%1/live/flv/14.flv\r\n监控;rtsp://%2:554/live\r\n")
                              .arg(m_f.server->baseUrl(), QUrl(m_f.server->baseUrl()).host()));
    m_f.button("watchButton")->click();
    QVERIFY(streamPlays());
    m_f.button("nextButton")->click();
    QVERIFY(waitState(page(), "ended", 10000));
    QCOMPARE(js(page(), "document.getElementById('headline').textContent").toString(),
        QStringLiteral("无法播放此频道"));
    QCOMPARE(js(page(), "document.getElementById('reason').textContent").toString(),
        QStringLiteral("不支持的地址（RTSP）"));
    QTRY_COMPARE_WITH_TIMEOUT(m_f.server->openStreamCount(), 0, 5000);
}

VIEWER_TEST_MAIN(tst_Streams)
#include "tst_streams.moc"
