// CPU used by the version check while it waits out its 15 seconds on a
// server that never answers, against an idle event loop of the same length
// as the floor.
// Usage: bench_versionwait

#include "net/vendorsite.h"
#include "net/versioncheck.h"
#include "netsupport.h"
#include "vendorserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Sample {
    double wall = 0;
    double cpu = 0;
};

template<typename F>
Sample measure(F work)
{
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    work();
    Sample s;
    s.wall = double(clock.nsecsElapsed()) / 1e9;
    s.cpu = cpuSeconds() - cpuBefore;
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The program's own wait: the figure is of what it costs.
    const int seconds = int(VersionCheck::DefaultWait.count() / 1000);

    VendorServer server(&app);
    VendorServer::Response stalled;
    stalled.neverAnswer = true;
    server.setFallback(stalled);
    if (!server.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }

    const Sample idle = measure([seconds] {
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    });

    // A version the server could never match, so only a wait that gives up
    // can end as Unreachable.
    VersionCheck check(VendorSite(server.baseUrl()).versionFile(), buildVersion());
    bool finished = false;
    VersionCheck::Verdict verdict = VersionCheck::Verdict::Current;
    const Sample wait = measure([&] {
        QEventLoop loop;
        QObject::connect(&check, &VersionCheck::finished, &loop, [&](VersionCheck::Verdict v) {
            finished = true;
            verdict = v;
            loop.quit();
        });
        // Only against a check that never reports.
        QTimer::singleShot((seconds + 30) * 1000, &loop, &QEventLoop::quit);
        check.start();
        loop.exec();
    });
    const QString result = check.serverVersion();
    const bool unreachable = finished && verdict == VersionCheck::Verdict::Unreachable;

    std::printf("idle-loop     wall %.2f s  cpu %.2f s\n", idle.wall, idle.cpu);
    std::printf("version-wait  wall %.2f s  cpu %.2f s  (idle loop floor cpu %.2f s)\n", wait.wall,
        wait.cpu, idle.cpu);
    std::printf("result        %s  (requests seen by server: %lld)\n",
        !finished              ? "NO VERDICT"
            : result.isEmpty() ? "empty, as expected"
                               : "NOT EMPTY",
        qlonglong(server.requests().size()));
    const bool ok = unreachable && result.isEmpty() && wait.cpu < 0.3;
    std::printf("goal cpu < 0.30 s: %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 2;
}
