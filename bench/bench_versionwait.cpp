// CPU used by the version check while it waits on a server that never
// answers, against an idle event loop of the same length as the floor.
// Usage: bench_versionwait [seconds]   (default 15)

#include "net/module1.h"
#include "vendorserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Sample
{
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
    int seconds = argc > 1 ? std::atoi(argv[1]) : 15;
    if (seconds < 1 || seconds > 300)
        seconds = 15;

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

    QString result = QStringLiteral("unset");
    const Sample wait = measure([&] {
        qint16 limit = qint16(seconds);
        result = Module1::HttpGetText(server.baseUrl() + QStringLiteral("/version/zavo.txt"),
                                      QString(), limit);
    });

    std::printf("idle-loop     wall %.2f s  cpu %.2f s\n", idle.wall, idle.cpu);
    std::printf("version-wait  wall %.2f s  cpu %.2f s  (idle loop floor cpu %.2f s)\n", wait.wall,
                wait.cpu, idle.cpu);
    std::printf("result        %s  (requests seen by server: %lld)\n",
                result.isEmpty() ? "empty, as expected" : "NOT EMPTY",
                qlonglong(server.requests().size()));
    const bool ok = result.isEmpty() && wait.cpu < 0.3;
    std::printf("goal cpu < 0.30 s: %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 2;
}
