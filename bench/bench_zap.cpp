// Zap time onto live streams: Channel + from a channel page to the first
// decoded frame of the live HLS channel and of the HTTP-FLV channel, against
// a bare QWebEngineView loading a page that plays the same stream with the
// same library at its stock settings. The first frame is taken in the page
// (requestVideoFrameCallback after loadeddata) by the same injected script
// for both, against the wall clock shared with this process.
// Usage: bench_zap [rounds]   (default 5; the first round only warms up)

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "testsupport.h"
#include "webview/playerview.h"

#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <chrono>
#include <cstdlib>

int main(int argc, char **argv)
{
    Bench::ViewerApp app(argc, argv);
    int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    if (rounds < 2 || rounds > 30)
        rounds = 5;

    Bench::DemoViewer viewer(Bench::serveStockPlayerPages);
    if (!viewer.start())
        return 1;
    const QString base = viewer.server.baseUrl();
    MainWindow &w = viewer.window;
    ChannelGuide *guide = Bench::guideOf(w);
    PlayerView *view = Bench::part<PlayerView>(w, "player");
    Bench::part<TabControl>(w, "tabs")->setCurrentIndex(1);
    // A list of its own in place of the demo list (which is only appended to).
    guide->clear();
    guide->loadList(QStringLiteral("页面;%1/tv/01.htm\r\n直播;%1/live/hls/index.m3u8\r\n"
                                   "页面;%1/tv/01.htm\r\n直播;%1/live/flv/14.flv\r\n")
                        .arg(base));
    QWebEnginePage *player = view->page();
    Bench::watchFirstFrame(player);
    QListView *list = Bench::part<QListView>(w, "channelList");

    // A profile of its own: the viewer's pages use the default one, and the
    // two must share no cache.
    QWebEngineProfile bareProfile;
    QWebEnginePage barePage(&bareProfile);
    QWebEngineView bare;
    bare.setPage(&barePage);
    bare.page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    bare.resize(view->size());
    // Clear of the centred window: a covered view may present frames late.
    bare.move(0, 0);
    bare.show();
    Bench::watchFirstFrame(bare.page());

    // Both start from a channel page that is playing, as a viewer zapping does.
    const auto viewerZap = [&](int fromRow) {
        list->setCurrentIndex(list->model()->index(fromRow, 0));
        if (!Bench::waitLoaded(player, [&] { guide->playSelected(); }))
            return -1.0;
        Bench::settle(1000);
        const double t0 = Bench::nowMs();
        Bench::part<QPushButton>(w, "nextButton")->click();
        const double ms = Bench::firstFrameAfter(player, t0);
        // A frame, but of the stream page: anything else is a wrong figure.
        const QString kind
            = PageProbe::run(player, QStringLiteral("document.documentElement.dataset.kind || ''"))
                  .toString();
        return kind.isEmpty() ? -1.0 : ms;
    };
    const auto bareZap = [&](const QString &path) {
        if (!Bench::waitLoaded(
                bare.page(), [&] { bare.load(QUrl(base + QStringLiteral("/tv/01.htm"))); }))
            return -1.0;
        Bench::settle(1000);
        const double t0 = Bench::nowMs();
        bare.load(QUrl(base + path));
        return Bench::firstFrameAfter(bare.page(), t0);
    };

    QList<double> vHls, bHls, vFlv, bFlv;
    for (int r = 0; r < rounds; ++r) {
        // The order alternates, so drift of the machine hits both.
        double a, b, c, d;
        if (r % 2) {
            b = bareZap(QStringLiteral("/bench/hls.htm"));
            a = viewerZap(0);
            d = bareZap(QStringLiteral("/bench/flv.htm"));
            c = viewerZap(2);
        } else {
            a = viewerZap(0);
            b = bareZap(QStringLiteral("/bench/hls.htm"));
            c = viewerZap(2);
            d = bareZap(QStringLiteral("/bench/flv.htm"));
        }
        std::printf("round %d: hls viewer %.0f bare %.0f   flv viewer %.0f bare %.0f ms\n", r + 1,
            a, b, c, d);
        std::fflush(stdout);
        if (r == 0)
            continue; // warm-up: caches, the engine's first media pipeline
        vHls << a;
        bHls << b;
        vFlv << c;
        bFlv << d;
    }
    const auto failed = [](const QList<double> &v) {
        return std::any_of(v.begin(), v.end(), [](double x) { return x < 0; });
    };
    if (failed(vHls) || failed(bHls) || failed(vFlv) || failed(bFlv)) {
        std::fprintf(stderr, "a stream did not show a frame\n");
        return 2;
    }
    const double mvH = Bench::median(vHls), mbH = Bench::median(bHls);
    const double mvF = Bench::median(vFlv), mbF = Bench::median(bFlv);
    std::printf("zap to live HLS, first frame: viewer %.0f ms, bare hls.js page %.0f ms, ratio "
                "%.2f (medians of %d)\n",
        mvH, mbH, Bench::ratio(mvH, mbH), rounds - 1);
    std::printf("zap to HTTP-FLV, first frame: viewer %.0f ms, bare mpegts.js page %.0f ms, ratio "
                "%.2f (medians of %d)\n",
        mvF, mbF, Bench::ratio(mvF, mbF), rounds - 1);
    std::printf("ROW\tzap to live HLS (Channel + to first frame)\t%.0f ms\tbare page, stock hls.js "
                "%.0f ms\t%.2f\n",
        mvH, mbH, Bench::ratio(mvH, mbH));
    std::printf("ROW\tzap to HTTP-FLV (Channel + to first frame)\t%.0f ms\tbare page, stock "
                "mpegts.js %.0f ms\t%.2f\n",
        mvF, mbF, Bench::ratio(mvF, mbF));
    return 0;
}
