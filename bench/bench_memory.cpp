// Memory (PSS of the process and all its descendants, the engine's helper
// processes included) of the viewer idle after start-up and while playing
// channel 1, against one bare QWebEngineView in a process of its own, first
// on a blank page and then playing the same channel page.
// Usage: bench_memory [runs]     runs both modes as child processes (default 2 each)
//        bench_memory --viewer   one viewer run
//        bench_memory --bare     one bare view run

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "testsupport.h"
#include "webview/playerview.h"

#include <QApplication>
#include <QListView>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kIdleMs = 3000;
constexpr int kPlayMs = 5000;
constexpr int kChildTimeoutMs = 90000;

// Waits ms, sampling the tree once a second over the last three seconds;
// the sample with the median PSS stands for the period, since the browser
// process's heap swings by tens of MiB from one second to the next.
Bench::Pss sampleOver(int ms)
{
    const int samples = 3;
    Bench::settle(ms - (samples - 1) * 1000);
    QList<Bench::Pss> taken;
    for (int i = 0; i < samples; ++i) {
        if (i)
            Bench::settle(1000);
        taken << Bench::pssOfTree(QCoreApplication::applicationPid());
    }
    std::sort(taken.begin(), taken.end(),
        [](const Bench::Pss &a, const Bench::Pss &b) { return a.kib < b.kib; });
    return taken[samples / 2];
}

void report(const char *what, const Bench::Pss &pss)
{
    std::printf("memory %s kib=%lld dirty=%lld procs=%d others=%d  [pid:type:pss %s]\n", what,
        qlonglong(pss.kib), qlonglong(pss.privateDirtyKib), pss.processes,
        Bench::othersMappingEngine(pss.pids), qPrintable(pss.detail.join(u' ')));
    std::fflush(stdout);
}

int runViewer(int argc, char **argv)
{
    Bench::ViewerApp app(argc, argv);
    Bench::DemoViewer viewer;
    if (!viewer.start())
        return 1;
    MainWindow &w = viewer.window;
    TabControl *tabs = Bench::part<TabControl>(w, "tabs");
    // Idle as after start-up: the About page in front.
    tabs->setCurrentIndex(0);
    if (!QTest::qWaitForWindowExposed(&w, 10000))
        return 1;
    report("viewer-idle", sampleOver(kIdleMs));

    tabs->setCurrentIndex(1);
    QListView *list = Bench::part<QListView>(w, "channelList");
    list->setCurrentIndex(list->model()->index(0, 0));
    QWebEnginePage *player = Bench::part<PlayerView>(w, "player")->page();
    if (!Bench::waitLoaded(player, [&] { Bench::guideOf(w)->playSelected(); })) {
        std::fprintf(stderr, "channel 1 did not load\n");
        return 1;
    }
    const Bench::Pss playing = sampleOver(kPlayMs);
    const double at = PageProbe::videoTime(player);
    report("viewer-playing", playing);
    std::printf("memory viewer-position seconds=%.2f\n", at);
    return 0;
}

int runBare(int argc, char **argv)
{
    QApplication app(argc, argv);
    Bench::SiteServer server;
    if (!server.ok())
        return 1;
    QWebEngineView view;
    // Allowed to autoplay, so the page does the same work as the player's.
    view.page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // The player's size in the window.
    view.resize(417, 377);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view, 10000))
        return 1;
    Bench::waitLoaded(view.page(), [&] { view.load(QUrl(QStringLiteral("about:blank"))); });
    report("bare-blank", sampleOver(kIdleMs));

    const QUrl channel(server.baseUrl() + QStringLiteral("/tv/01.htm"));
    if (!Bench::waitLoaded(view.page(), [&] { view.load(channel); })) {
        std::fprintf(stderr, "channel 1 did not load\n");
        return 1;
    }
    const Bench::Pss playing = sampleOver(kPlayMs);
    const double at = PageProbe::videoTime(view.page());
    report("bare-playing", playing);
    std::printf("memory bare-position seconds=%.2f\n", at);
    return 0;
}

double mib(double kib)
{
    return kib / 1024.0;
}

int runAll(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = Bench::runsFrom(argc, argv, 2, 20);

    // Modes alternate, so drift of the machine hits both.
    QList<double> idleRuns, playRuns, blankRuns, barePlayRuns, vPosRuns, bPosRuns;
    QList<double> idleDirty, playDirty, blankDirty, barePlayDirty;
    for (int i = 0; i < runs; ++i) {
        const QStringList viewer = Bench::runChild({QStringLiteral("--viewer")}, kChildTimeoutMs);
        const QStringList bare = Bench::runChild({QStringLiteral("--bare")}, kChildTimeoutMs);
        for (const QString &line : viewer + bare)
            std::printf("%s\n", qPrintable(line));
        idleRuns << Bench::field(
            viewer, QStringLiteral("memory viewer-idle"), QStringLiteral("kib"));
        playRuns << Bench::field(
            viewer, QStringLiteral("memory viewer-playing"), QStringLiteral("kib"));
        blankRuns << Bench::field(bare, QStringLiteral("memory bare-blank"), QStringLiteral("kib"));
        barePlayRuns << Bench::field(
            bare, QStringLiteral("memory bare-playing"), QStringLiteral("kib"));
        idleDirty << Bench::field(
            viewer, QStringLiteral("memory viewer-idle"), QStringLiteral("dirty"));
        playDirty << Bench::field(
            viewer, QStringLiteral("memory viewer-playing"), QStringLiteral("dirty"));
        blankDirty << Bench::field(
            bare, QStringLiteral("memory bare-blank"), QStringLiteral("dirty"));
        barePlayDirty << Bench::field(
            bare, QStringLiteral("memory bare-playing"), QStringLiteral("dirty"));
        vPosRuns << Bench::field(
            viewer, QStringLiteral("memory viewer-position"), QStringLiteral("seconds"));
        bPosRuns << Bench::field(
            bare, QStringLiteral("memory bare-position"), QStringLiteral("seconds"));
    }
    // A failed run reports -1; one of them drags every median down.
    const auto all = [](const QList<double> &v) {
        return std::all_of(v.begin(), v.end(), [](double x) { return x > 0; });
    };
    const bool complete = all(idleRuns) && all(playRuns) && all(blankRuns) && all(barePlayRuns);
    const double idle = Bench::median(idleRuns), play = Bench::median(playRuns);
    const double blank = Bench::median(blankRuns), barePlay = Bench::median(barePlayRuns);
    const double vPos = *std::min_element(vPosRuns.begin(), vPosRuns.end());
    const double bPos = *std::min_element(bPosRuns.begin(), bPosRuns.end());

    std::printf("PSS of the process tree, MiB, medians of %d runs per mode\n", runs);
    std::printf(
        "viewer idle (list loaded, About page, %d s)     %7.1f\n", kIdleMs / 1000, mib(idle));
    std::printf("bare view, blank page (%d s)                    %7.1f   idle ratio %.2f\n",
        kIdleMs / 1000, mib(blank), Bench::ratio(idle, blank));
    std::printf(
        "viewer playing channel 1 (%d s, at >= %.1f s)   %7.1f\n", kPlayMs / 1000, vPos, mib(play));
    std::printf("bare view playing ch. 1 (%d s, at >= %.1f s)    %7.1f   playing ratio %.2f\n",
        kPlayMs / 1000, bPos, mib(barePlay), Bench::ratio(play, barePlay));
    std::printf("viewer idle against bare view playing             ratio %.2f\n",
        Bench::ratio(idle, barePlay));
    if (vPos <= 0 || bPos <= 0)
        std::printf("note: a video was not advancing (position <= 0)\n");
    if (!complete)
        std::printf("note: a run failed; see its lines above\n");

    const double iD = Bench::median(idleDirty), pD = Bench::median(playDirty);
    const double bD = Bench::median(blankDirty), bpD = Bench::median(barePlayDirty);
    std::printf("private dirty: idle %.1f against bare blank %.1f, ratio %.2f; playing %.1f "
                "against bare playing %.1f, ratio %.2f\n",
        mib(iD), mib(bD), Bench::ratio(iD, bD), mib(pD), mib(bpD), Bench::ratio(pD, bpD));
    std::printf("(others=N: processes outside the tree mapping the engine library, which "
                "lowers PSS)\n");

    auto m = [](double kib) { return QStringLiteral("%1 MiB").arg(mib(kib), 0, 'f', 0); };
    Bench::row(QStringLiteral("memory idle (PSS, About page)"), m(idle),
        QStringLiteral("bare view, blank page %1").arg(m(blank)), Bench::ratio(idle, blank));
    Bench::row(QStringLiteral("memory playing ch. 1 (PSS)"), m(play),
        QStringLiteral("bare view playing ch. 1 %1").arg(m(barePlay)),
        Bench::ratio(play, barePlay));
    Bench::row(QStringLiteral("memory idle (private dirty)"), m(iD),
        QStringLiteral("bare view, blank page %1").arg(m(bD)), Bench::ratio(iD, bD));
    Bench::row(QStringLiteral("memory playing ch. 1 (private dirty)"), m(pD),
        QStringLiteral("bare view playing ch. 1 %1").arg(m(bpD)), Bench::ratio(pD, bpD));
    return complete ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--viewer")
        return runViewer(argc, argv);
    if (mode == "--bare")
        return runBare(argc, argv);
    return runAll(argc, argv);
}
