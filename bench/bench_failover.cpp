// Fail-over: Watch to the first decoded frame for a channel whose first k
// rows are dead (k = 0, 1, 2; a refused connection, then a 404), against the
// working row alone, in the same run. The three-row channels keep their dead
// rows after the working one where k < 2, so each has three sources. Every
// Watch starts from a channel page that is playing.
// Usage: bench_failover [rounds]   (default 7; the first round only warms up)

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "netsupport.h"
#include "testsupport.h"
#include "webview/playerview.h"

#include <QListView>

namespace {

struct Case {
    QString name;
    int firstRow = 0; // where Watch starts
    int liveRow = 0; // where it must end
    QList<double> ms;
};

} // namespace

int main(int argc, char **argv)
{
    Bench::ViewerApp app(argc, argv);
    const int rounds = Bench::runsFrom(argc, argv, 7, 30);

    Bench::DemoViewer viewer([](VendorServer &server) {
        VendorServer::Response gone;
        gone.status = 404;
        gone.contentType = "text/html";
        gone.body = "<html><body><h1>404</h1></body></html>";
        server.setRoute(QStringLiteral("/gone/index.m3u8"), gone);
    });
    if (!viewer.start())
        return 1;
    MainWindow &w = viewer.window;
    ChannelGuide *guide = Bench::guideOf(w);
    PlayerView *view = Bench::part<PlayerView>(w, "player");
    QListView *list = Bench::part<QListView>(w, "channelList");
    Bench::part<TabControl>(w, "tabs")->setCurrentIndex(1);
    QWebEnginePage *player = view->page();
    Bench::watchFirstFrame(player);

    const QString base = viewer.server.baseUrl();
    const QString live = base + QStringLiteral("/live/hls/index.m3u8");
    const QString refused = QStringLiteral("http://127.0.0.1:%1/live/index.m3u8").arg(closedPort());
    const QString gone = base + QStringLiteral("/gone/index.m3u8");
    const QStringList rows[] = {
        {live}, // the floor: the working row alone
        {live, refused, gone},
        {refused, live, gone},
        {refused, gone, live},
    };
    QString text = QStringLiteral("页面;%1/tv/01.htm\r\n").arg(base);
    QList<Case> cases;
    int row = 1;
    for (int c = 0; c < int(std::size(rows)); ++c) {
        const QString name = QStringLiteral("央视%1台").arg(c);
        Case k {c == 0 ? QStringLiteral("alone") : QStringLiteral("k=%1").arg(c - 1), row,
            row + int(rows[c].indexOf(live)), {}};
        for (const QString &address : rows[c])
            text += name + u';' + address + QLatin1String("\r\n");
        row += int(rows[c].size());
        cases << k;
    }
    // A list of its own in place of the demo list (which is only appended to).
    guide->clear();
    guide->loadList(text);

    const auto watch = [&](const Case &c) {
        list->setCurrentIndex(list->model()->index(0, 0));
        if (!Bench::waitLoaded(player, [&] { guide->playSelected(); }))
            return -1.0;
        Bench::settle(1000);
        list->setCurrentIndex(list->model()->index(c.firstRow, 0));
        const double t0 = Bench::nowMs();
        guide->playSelected();
        const double ms = Bench::firstFrameAfter(player, t0);
        // A frame, on the working row: anything else is a wrong figure.
        return list->currentIndex().row() == c.liveRow ? ms : -1.0;
    };

    for (int r = 0; r < rounds; ++r) {
        std::printf("round %d:", r + 1);
        // The order turns each round, so drift of the machine hits all.
        for (int i = 0; i < cases.size(); ++i) {
            Case &c = cases[(i + r) % cases.size()];
            const double ms = watch(c);
            std::printf("  %s %.0f", qPrintable(c.name), ms);
            if (r > 0) // warm-up: caches, the engine's first media pipeline
                c.ms << ms;
        }
        std::printf(" ms\n");
        std::fflush(stdout);
    }
    for (const Case &c : cases) {
        if (std::any_of(c.ms.begin(), c.ms.end(), [](double x) { return x < 0; })) {
            std::fprintf(stderr, "%s did not play its working row\n", qPrintable(c.name));
            return 2;
        }
    }
    const double floor = Bench::median(cases[0].ms);
    for (int k = 0; k < 3; ++k) {
        const double m = Bench::median(cases[k + 1].ms);
        const QString perRow
            = k ? QStringLiteral(", %1 ms a dead row").arg((m - floor) / k, 0, 'f', 0) : QString();
        std::printf(
            "k=%d: Watch to first frame %.0f ms, working row alone %.0f ms%s (medians of %d)\n", k,
            m, floor, qPrintable(perRow), rounds - 1);
        Bench::row(QStringLiteral("fail-over, %1 dead rows ahead (Watch to first frame)").arg(k),
            QStringLiteral("%1 ms%2").arg(m, 0, 'f', 0).arg(perRow),
            QStringLiteral("working row alone %1 ms").arg(floor, 0, 'f', 0),
            Bench::ratio(m, floor));
    }
    return 0;
}
