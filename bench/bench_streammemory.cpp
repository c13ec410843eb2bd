// Memory while watching the live HLS channel for a long time: PSS of the
// viewer's process tree (engine helpers included) once a minute, and its
// growth after the first minute, beside a bare QWebEngineView playing the
// same stream from a page with stock hls.js (which keeps its whole back
// buffer). Both run at the same time, each in a process of its own.
// Usage: bench_streammemory [minutes]   (default 10, at least 2)
//        bench_streammemory --viewer N / --bare N   one side, N minutes

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "testsupport.h"
#include "webview/playerview.h"

#include <QApplication>
#include <QListView>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdlib>

namespace {

// The median of three samples a second apart: the browser process's heap
// swings from one second to the next.
Bench::Pss pssNow()
{
    QList<Bench::Pss> taken;
    for (int i = 0; i < 3; ++i) {
        if (i)
            Bench::settle(1000);
        taken << Bench::pssOfTree(QCoreApplication::applicationPid());
    }
    std::sort(taken.begin(), taken.end(),
        [](const Bench::Pss &a, const Bench::Pss &b) { return a.kib < b.kib; });
    return taken[1];
}

// Samples once a minute for minutes; prints "sample who minute=M kib=K".
void watch(const char *who, QWebEnginePage *page, int minutes)
{
    for (int m = 1; m <= minutes; ++m) {
        Bench::settle(60000 - 2000);
        const Bench::Pss pss = pssNow();
        std::printf("sample %s minute=%d kib=%lld position=%.1f [pid:type:pss %s]\n", who, m,
            qlonglong(pss.kib), PageProbe::videoTime(page), qPrintable(pss.detail.join(u' ')));
        std::fflush(stdout);
    }
}

int runViewer(int argc, char **argv, int minutes)
{
    Bench::ViewerApp app(argc, argv);
    Bench::DemoViewer viewer;
    if (!viewer.start())
        return 1;
    MainWindow &w = viewer.window;
    ChannelGuide *guide = Bench::guideOf(w);
    QWebEnginePage *player = Bench::part<PlayerView>(w, "player")->page();
    Bench::part<TabControl>(w, "tabs")->setCurrentIndex(1);
    int row = -1;
    for (int i = 0; i < guide->channelCount() && row < 0; ++i)
        if (guide->model()->entry(i).url.contains(QLatin1String("/live/hls/")))
            row = i;
    if (row < 0) {
        std::fprintf(stderr, "no live HLS channel in the demo list\n");
        return 1;
    }
    QListView *list = Bench::part<QListView>(w, "channelList");
    list->setCurrentIndex(list->model()->index(row, 0));
    guide->playSelected();
    if (!PageProbe::waitPlaying(player, 1.0)) {
        std::fprintf(stderr, "the live channel did not play\n");
        return 1;
    }
    watch("viewer", player, minutes);
    return 0;
}

int runBare(int argc, char **argv, int minutes)
{
    QApplication app(argc, argv);
    Bench::SiteServer server(Bench::serveStockPlayerPages);
    if (!server.ok())
        return 1;
    QWebEngineView view;
    view.page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view.resize(417, 377);
    view.move(0, 0);
    view.show();
    view.load(QUrl(server.baseUrl() + QStringLiteral("/bench/hls.htm")));
    if (!PageProbe::waitPlaying(view.page(), 1.0)) {
        std::fprintf(stderr, "the bare page did not play\n");
        return 1;
    }
    watch("bare", view.page(), minutes);
    return 0;
}

struct Growth {
    double first = -1, last = -1, percent = 0, position = 0;
    double peak = 0; // the highest sample after the first minute, as growth in %
};

Growth growthOf(const QStringList &lines, const QString &who, int minutes)
{
    Growth g;
    const QString tag = QStringLiteral("sample ") + who;
    for (const QString &line : lines) {
        if (!line.startsWith(tag + u' '))
            continue;
        const int m = line.section(QStringLiteral("minute="), 1).section(u' ', 0, 0).toInt();
        const double kib = line.section(QStringLiteral("kib="), 1).section(u' ', 0, 0).toDouble();
        if (m == 1)
            g.first = kib;
        else if (g.first > 0)
            g.peak = std::max(g.peak, (kib - g.first) * 100.0 / g.first);
        if (m == minutes) {
            g.last = kib;
            g.position
                = line.section(QStringLiteral("position="), 1).section(u' ', 0, 0).toDouble();
        }
    }
    if (g.first > 0 && g.last > 0)
        g.percent = (g.last - g.first) * 100.0 / g.first;
    return g;
}

int runAll(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int minutes = argc > 1 ? std::atoi(argv[1]) : 10;
    if (minutes < 2 || minutes > 120)
        minutes = 10;
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const QString n = QString::number(minutes);
    QProcess viewer, bare;
    for (QProcess *p : {&viewer, &bare})
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    viewer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--viewer"), n});
    bare.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare"), n});
    const int timeoutMs = (minutes + 2) * 60000;
    viewer.waitForFinished(timeoutMs);
    bare.waitForFinished(timeoutMs);
    const QStringList lines
        = QString::fromUtf8(viewer.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)
        + QString::fromUtf8(bare.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    Bench::reapOrphans(10000);
    for (const QString &line : lines)
        std::printf("%s\n", qPrintable(line));

    const Growth v = growthOf(lines, QStringLiteral("viewer"), minutes);
    const Growth b = growthOf(lines, QStringLiteral("bare"), minutes);
    if (v.first < 0 || v.last < 0 || b.first < 0 || b.last < 0) {
        std::fprintf(stderr, "a side did not finish its samples\n");
        return 2;
    }
    std::printf(
        "watching live HLS %d min: viewer %.1f -> %.1f MiB (%+.1f %%, peak %+.1f %%, at "
        "%.0f s), bare stock hls.js %.1f -> %.1f MiB (%+.1f %%, peak %+.1f %%, at %.0f s)\n",
        minutes, v.first / 1024, v.last / 1024, v.percent, v.peak, v.position, b.first / 1024,
        b.last / 1024, b.percent, b.peak, b.position);
    std::printf("ROW\tPSS growth watching live HLS, minute 1 to %d\t%+.1f %% (%.0f -> %.0f "
                "MiB)\tbare page, stock hls.js %+.1f %% (%.0f -> %.0f MiB)\t%.2f\n",
        minutes, v.percent, v.first / 1024, v.last / 1024, b.percent, b.first / 1024, b.last / 1024,
        Bench::ratio(v.last / v.first, b.last / b.first));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && QByteArray(argv[1]) == "--viewer")
        return runViewer(argc, argv, std::atoi(argv[2]));
    if (argc > 2 && QByteArray(argv[1]) == "--bare")
        return runBare(argc, argv, std::atoi(argv[2]));
    return runAll(argc, argv);
}
