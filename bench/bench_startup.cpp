// Time from process start to the window shown with the demo list loaded,
// against a bare page (no view) fetching the same list in a process of its
// own. Each mode runs as a child process of this one; medians are printed.
// Usage: bench_startup [runs]        (default 5, after one discarded warm-up pair)
//        bench_startup --window      one viewer start-up
//        bench_startup --bare        one bare page start-up

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "testsupport.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdlib>

namespace {

constexpr int kChildTimeoutMs = 60000;

// Notes when the window is first shown and first exposed by the X server.
class FirstShown : public QObject {
public:
    FirstShown(QWidget *window, std::function<void()> changed, QObject *parent)
        : QObject(parent), m_window(window), m_changed(std::move(changed))
    {
    }
    double shown = -1;
    double exposed = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (shown < 0 && watched == m_window && event->type() == QEvent::Show) {
            shown = Bench::secondsSinceProcessStart();
            m_changed();
        } else if (exposed < 0 && event->type() == QEvent::Expose
            && watched == m_window->windowHandle() && m_window->windowHandle()->isExposed()) {
            exposed = Bench::secondsSinceProcessStart();
        }
        return false;
    }

private:
    QWidget *m_window;
    std::function<void()> m_changed;
};

int runWindow(int argc, char **argv)
{
    const double atMain = Bench::secondsSinceProcessStart();
    Bench::ViewerApp app(argc, argv);
    Bench::SiteServer server;
    if (!server.ok())
        return 1;
    MainWindow w(Bench::viewerOptionsFor(server.baseUrl()));

    double listAt = -1;
    double doneAt = -1;
    int count = -1;
    bool formLoadReturned = false;
    std::function<void()> check;
    FirstShown watch(
        &w, [&] { check(); }, &app);
    app.installEventFilter(&watch);
    // Once the list is in and the window visible, the figure is taken; the
    // process ends after start has unwound, so no wait is cut short.
    check = [&] {
        if (doneAt < 0 && listAt >= 0 && w.isVisible()) {
            doneAt = Bench::secondsSinceProcessStart();
            std::printf("startup window main=%.4f visible=%.4f exposed=%.4f list=%.4f done=%.4f "
                        "count=%d\n",
                atMain, watch.shown, watch.exposed, listAt, doneAt, count);
            std::fflush(stdout);
        }
        if (doneAt >= 0 && formLoadReturned)
            QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    };
    QObject::connect(Bench::guideOf(w), &ChannelGuide::listLoaded, &w, [&](int n) {
        if (listAt < 0) {
            listAt = Bench::secondsSinceProcessStart();
            count = n;
        }
        check();
    });
    QObject::connect(&w, &MainWindow::startupStep, &w, [&](MainWindow::Step step) {
        if (step == MainWindow::Step::VersionChecked)
            QTimer::singleShot(0, &w, [&] {
                formLoadReturned = true;
                check();
            });
    });
    QTimer::singleShot(kChildTimeoutMs / 2, &app, [] {
        std::fprintf(stderr, "window start-up did not finish\n");
        QCoreApplication::exit(1);
    });
    // As the viewer's main() does: start-up runs inside the event loop.
    QTimer::singleShot(0, &w, &MainWindow::start);
    const int rc = app.exec();
    app.removeEventFilter(&watch);
    return rc;
}

int runBare(int argc, char **argv)
{
    const double atMain = Bench::secondsSinceProcessStart();
    QApplication app(argc, argv);
    Bench::SiteServer server;
    if (!server.ok())
        return 1;
    QWebEnginePage page;
    double loadedAt = -1;
    QObject::connect(&page, &QWebEnginePage::loadFinished, &page, [&](bool ok) {
        if (loadedAt >= 0)
            return;
        loadedAt = Bench::secondsSinceProcessStart();
        page.toPlainText([&, ok](const QString &text) {
            const double textAt = Bench::secondsSinceProcessStart();
            std::printf("startup bare main=%.4f loaded=%.4f text=%.4f chars=%lld ok=%d\n", atMain,
                loadedAt, textAt, qlonglong(text.size()), int(ok));
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    });
    QTimer::singleShot(kChildTimeoutMs / 2, &app, [] {
        std::fprintf(stderr, "bare page did not finish\n");
        QCoreApplication::exit(1);
    });
    page.load(QUrl(server.baseUrl() + QStringLiteral("/zavo/list.txt")));
    return app.exec();
}

int runAll(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = Bench::runsFrom(argc, argv, 5);

    // The first pair only warms the page cache; alternating the modes
    // spreads any drift of the machine over both.
    Bench::runChild({QStringLiteral("--window")}, kChildTimeoutMs);
    Bench::runChild({QStringLiteral("--bare")}, kChildTimeoutMs);

    QList<double> main, shown, exposed, list, bareMain, bareLoaded, bareText;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        const QStringList w = Bench::runChild({QStringLiteral("--window")}, kChildTimeoutMs);
        const double done
            = Bench::field(w, QStringLiteral("startup window"), QStringLiteral("done"));
        if (done > 0) {
            main << Bench::field(w, QStringLiteral("startup window"), QStringLiteral("main"));
            shown << Bench::field(w, QStringLiteral("startup window"), QStringLiteral("visible"));
            exposed << Bench::field(w, QStringLiteral("startup window"), QStringLiteral("exposed"));
            list << done;
        } else {
            ++failures;
        }
        const QStringList b = Bench::runChild({QStringLiteral("--bare")}, kChildTimeoutMs);
        const double text = Bench::field(b, QStringLiteral("startup bare"), QStringLiteral("text"));
        if (text > 0) {
            bareMain << Bench::field(b, QStringLiteral("startup bare"), QStringLiteral("main"));
            bareLoaded << Bench::field(b, QStringLiteral("startup bare"), QStringLiteral("loaded"));
            bareText << text;
        } else {
            ++failures;
        }
    }

    const double floor = Bench::median(bareText);
    const double l = Bench::median(list), s = Bench::median(shown), e = Bench::median(exposed);
    std::printf("start-up, seconds since process start, medians of %d runs per mode "
                "(clock tick %.0f ms)\n",
        runs, 1000.0 / double(sysconf(_SC_CLK_TCK)));
    std::printf("viewer  main() entered                 %6.3f s\n", Bench::median(main));
    std::printf(
        "viewer  window first shown             %6.3f s  ratio %.2f\n", s, Bench::ratio(s, floor));
    std::printf(
        "viewer  window first exposed           %6.3f s  ratio %.2f\n", e, Bench::ratio(e, floor));
    std::printf(
        "viewer  window visible, list loaded    %6.3f s  ratio %.2f\n", l, Bench::ratio(l, floor));
    std::printf("bare    main() entered                 %6.3f s\n", Bench::median(bareMain));
    std::printf("bare    list page loadFinished         %6.3f s\n", Bench::median(bareLoaded));
    std::printf("bare    toPlainText answered (floor)   %6.3f s\n", floor);
    std::printf("all window runs:");
    for (double v : list)
        std::printf(" %.3f", v);
    std::printf("\nall bare runs:  ");
    for (double v : bareText)
        std::printf(" %.3f", v);
    std::printf("\n");
    if (failures)
        std::printf("failed runs: %d\n", failures);

    const QString floorText
        = QStringLiteral("bare page loading the list %1 s").arg(floor, 0, 'f', 2);
    Bench::row(QStringLiteral("start-up to window with list"),
        QStringLiteral("%1 s").arg(l, 0, 'f', 2), floorText, Bench::ratio(l, floor));
    Bench::row(QStringLiteral("start-up to window first shown"),
        QStringLiteral("%1 s").arg(s, 0, 'f', 2), floorText, Bench::ratio(s, floor));
    return failures ? 2 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--window")
        return runWindow(argc, argv);
    if (mode == "--bare")
        return runBare(argc, argv);
    return runAll(argc, argv);
}
