// Channel switch latency: Channel + (next) to the player page's
// loadFinished, over the bundled site's demo channels, against a bare
// QWebEngineView loading the same pages in the same process.
// Usage: bench_channelswitch [rounds]   (default 3; every round visits each channel once,
//                                       the first one only warms up)

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "testsupport.h"
#include "webview/playerview.h"

#include <QApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdlib>

namespace {

// Time from start() to the next loadFinished of page.
class LoadClock {
public:
    explicit LoadClock(QWebEnginePage *page)
    {
        QObject::connect(page, &QWebEnginePage::loadFinished, page, [this](bool ok) {
            if (m_finishedNs < 0 && m_timer.isValid()) {
                m_finishedNs = m_timer.nsecsElapsed();
                m_ok = ok;
            }
        });
    }
    void start()
    {
        m_finishedNs = -1;
        m_timer.start();
    }
    // Milliseconds to the load's end, or -1 when it never ended.
    double waitMs(int timeoutMs = 20000)
    {
        Bench::waitFor([this] { return m_finishedNs >= 0; }, timeoutMs);
        return m_finishedNs < 0 ? -1 : double(m_finishedNs) / 1e6;
    }
    bool ok() const { return m_ok; }

private:
    QElapsedTimer m_timer;
    qint64 m_finishedNs = -1;
    bool m_ok = false;
};

// Time between switches, so each channel has started playing and is torn
// down mid-play, as when a viewer flips through channels.
constexpr int kDwellMs = 400;

void printRound(const char *who, int round, const QList<double> &ms)
{
    std::printf("%-6s round %d:", who, round + 1);
    for (double v : ms)
        std::printf(" %.0f", v);
    std::printf("  median %.1f ms\n", Bench::median(ms));
}

} // namespace

int main(int argc, char **argv)
{
    Bench::ViewerApp app(argc, argv);
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (rounds < 1 || rounds > 20)
        rounds = 3;

    Bench::DemoViewer demo;
    MainWindow &w = demo.window;
    const Bench::SiteServer &server = demo.server;
    PlayerView *view = Bench::part<PlayerView>(w, "player");
    ChannelGuide *guide = Bench::guideOf(w);
    QWebEnginePage *player = view->page();
    LoadClock viewerClock(player);

    if (!demo.start())
        return 1;
    // The channel pages only: the live streams have a zap figure of their own
    // (bench_zap), and a bare view has no stream page to compare with.
    QString pages;
    for (int i = 0; i < guide->channelCount(); ++i) {
        const ChannelEntry e = guide->model()->entry(i);
        if (e.url.contains(QLatin1String("/tv/")))
            pages += e.name + u';' + e.url + QLatin1String("\r\n");
    }
    // The model is only ever appended to: empty it first.
    guide->clear();
    guide->loadList(pages);
    const int channels = guide->channelCount();
    Bench::part<TabControl>(w, "tabs")->setCurrentIndex(1);
    if (!QTest::qWaitForWindowExposed(&w, 10000)) {
        std::fprintf(stderr, "window never exposed\n");
        return 1;
    }
    // Let the stop page and the notices finish before the clock runs.
    Bench::settle(1000);

    QStringList urls;
    for (int i = 0; i < channels; ++i)
        urls << guide->model()->entry(i).url;

    // A profile of its own (off the record, memory cache), so its first
    // round starts with a cold cache as the viewer's did.
    QWebEngineProfile bareProfile;
    QWebEnginePage barePage(&bareProfile);
    // Allowed to autoplay, so its pages do the same work as the player's.
    barePage.settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    QWebEngineView bare;
    bare.setPage(&barePage);
    bare.resize(view->size());
    // Clear of the centred window, so neither covers the other's video.
    bare.move(0, 0);
    bare.show();
    if (!QTest::qWaitForWindowExposed(&bare, 10000)) {
        std::fprintf(stderr, "bare view never exposed\n");
        return 1;
    }
    LoadClock bareClock(&barePage);
    // Warm-up: the engine has a new view and page to set up once.
    bareClock.start();
    bare.load(QUrl(server.baseUrl() + QStringLiteral("/zavomsg.htm")));
    bareClock.waitMs();
    Bench::settle(500);

    // Rounds alternate between the two, so drift of the machine hits both;
    // only one of them plays at a time.
    QList<QList<double>> viewer(rounds), floor(rounds);
    int failures = 0;
    int viewerPlayed = 0, barePlayed = 0;
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < channels; ++i) {
            viewerClock.start();
            guide->next();
            const double ms = viewerClock.waitMs();
            if (ms < 0 || !viewerClock.ok() || player->url() != QUrl(urls[i]))
                ++failures;
            viewer[r] << ms;
            Bench::settle(kDwellMs);
            viewerPlayed += (PageProbe::videoTime(player) > 0);
        }
        viewerClock.start();
        guide->stop();
        viewerClock.waitMs();

        for (int i = 0; i < channels; ++i) {
            bareClock.start();
            bare.load(QUrl(urls[i]));
            const double ms = bareClock.waitMs();
            if (ms < 0 || !bareClock.ok())
                ++failures;
            floor[r] << ms;
            Bench::settle(kDwellMs);
            barePlayed += (PageProbe::videoTime(&barePage) > 0);
        }
        bareClock.start();
        bare.load(QUrl(server.baseUrl() + QStringLiteral("/zavomsg.htm")));
        bareClock.waitMs();
    }

    std::printf("channel switch, ms from the call to loadFinished, %d channels, "
                "%d ms of play between switches\n",
        channels, kDwellMs);
    for (int r = 0; r < rounds; ++r)
        printRound("viewer", r, viewer[r]);
    for (int r = 0; r < rounds; ++r)
        printRound("bare", r, floor[r]);
    std::printf("playing when switched away: viewer %d of %d, bare %d of %d\n", viewerPlayed,
        rounds * channels, barePlayed, rounds * channels);
    if (failures)
        std::printf("failed or wrong loads: %d\n", failures);

    // The first round warms both the engine and the cache, so later rounds
    // are what is compared.
    QList<double> v, f;
    for (int r = rounds > 1 ? 1 : 0; r < rounds; ++r) {
        v += viewer[r];
        f += floor[r];
    }
    const double vm = Bench::median(v), fm = Bench::median(f);
    const double first = Bench::median(viewer[0]);
    std::printf("viewer median %.1f ms, bare median %.1f ms, ratio %.2f (rounds after the first)\n",
        vm, fm, Bench::ratio(vm, fm));
    std::printf("first round: viewer %.1f ms, bare %.1f ms (the bare view starts with a warm "
                "engine, so this ratio is not a fair one)\n",
        first, Bench::median(floor[0]));
    Bench::row(QStringLiteral("channel switch (nextButton to loadFinished)"),
        QStringLiteral("%1 ms").arg(vm, 0, 'f', 0),
        QStringLiteral("bare view loading same page %1 ms").arg(fm, 0, 'f', 0),
        Bench::ratio(vm, fm));
    return failures ? 2 : 0;
}
