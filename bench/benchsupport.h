#pragma once

// Helpers shared by the benchmark programs.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "guide/channelguide.h"
#include "pageprobe.h"
#include "testsupport.h"
#include "vendorserver.h"
#include "webview/webenvironment.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Bench {

// The application object with the viewer's process-wide set-up around it,
// as the program's main() has it: the engine's schemes before, the rest after.
struct SchemesRegistered {
    SchemesRegistered() { WebEnvironment::registerSchemes(); }
};
class ViewerApp : private SchemesRegistered, public QApplication {
public:
    ViewerApp(int &argc, char **argv) : QApplication(argc, argv)
    {
        Startup::prepareApplication(*this);
    }
};

// A part of the window by its object name, as the form names it.
template<class T>
T *part(const MainWindow &w, const char *name)
{
    return w.findChild<T *>(QLatin1String(name));
}

inline ChannelGuide *guideOf(const MainWindow &w)
{
    return w.findChild<ChannelGuide *>();
}

// The number of runs the command line asks for, or fallback when it asks
// for none or more than most.
inline int runsFrom(int argc, char **argv, int fallback, int most = 100)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : fallback;
    return runs >= 1 && runs <= most ? runs : fallback;
}

inline double median(QList<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double ratio(double value, double floor)
{
    return floor > 0 ? value / floor : 0;
}

inline double bootSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Seconds since this process was forked: field 22 of /proc/self/stat is its
// start in clock ticks since boot, the same origin as CLOCK_BOOTTIME.
// Resolution is one tick (10 ms at the usual 100 Hz).
inline double secondsSinceProcessStart()
{
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The command name (field 2) may hold spaces and parentheses; fields
    // after its closing parenthesis start at field 3.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const double startTicks = fields[22 - 3].toDouble();
    return bootSeconds() - startTicks / double(sysconf(_SC_CLK_TCK));
}

struct Pss {
    qint64 kib = 0;
    qint64 privateDirtyKib = 0;
    int processes = 0;
    QStringList detail; // "pid:type:KiB" for each process
    QList<qint64> pids;
};

struct Rollup {
    qint64 pss = 0;
    // Private dirty pages (heap, written data): unlike PSS, not lowered when
    // other programs map the same libraries.
    qint64 privateDirty = 0;
};

inline Rollup rollupOf(qint64 pid)
{
    Rollup r;
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return r;
    const auto kib = [](const QByteArray &line) {
        return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
    };
    // Files in /proc report size 0, so the text is read whole.
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            r.pss = kib(line);
        else if (line.startsWith("Private_Dirty:"))
            r.privateDirty = kib(line);
    }
    return r;
}

// The engine's helper processes say what they are in --type=; the browser
// process is the program itself.
inline QString processType(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &arg : f.readAll().split('\0')) {
        if (arg.startsWith("--type="))
            return QString::fromLatin1(arg.mid(7));
    }
    return QStringLiteral("main");
}

// Every process's parent, from /proc.
inline QHash<qint64, qint64> parentPids()
{
    QHash<qint64, qint64> parents;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &e : entries) {
        bool isPid = false;
        const qint64 pid = e.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        // The command name may hold spaces and parentheses; fields follow its last ")".
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            parents.insert(pid, fields[1].toLongLong());
    }
    return parents;
}

// PSS of pid and every process below it: the engine's helper processes
// (zygotes, renderers, GPU, utilities) are children or grandchildren.
inline Pss pssOfTree(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    const QHash<qint64, qint64> parents = parentPids();
    for (auto it = parents.cbegin(); it != parents.cend(); ++it)
        children[it.value()].append(it.key());
    Pss total;
    // Processes forked from a zygote keep its command line: they are the
    // renderers.
    QList<QPair<qint64, QString>> todo {{root, QString()}};
    while (!todo.isEmpty()) {
        const auto [pid, parentType] = todo.takeFirst();
        QString type = processType(pid);
        if (parentType == QLatin1String("zygote") && type == parentType)
            type = QStringLiteral("renderer");
        const Rollup r = rollupOf(pid);
        const qint64 kib = r.pss;
        total.kib += kib;
        total.privateDirtyKib += r.privateDirty;
        ++total.processes;
        total.pids << pid;
        total.detail << QStringLiteral("%1:%2:%3").arg(pid).arg(type).arg(kib);
        for (qint64 child : children.value(pid))
            todo.append({child, type});
    }
    return total;
}

// Processes outside the tree of root that map the engine library: they
// share its pages and so lower the tree's PSS.
inline int othersMappingEngine(const QList<qint64> &tree)
{
    int others = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &e : entries) {
        bool isPid = false;
        const qint64 pid = e.toLongLong(&isPid);
        if (!isPid || tree.contains(pid))
            continue;
        QFile f(QStringLiteral("/proc/%1/maps").arg(pid));
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains("libQt6WebEngineCore"))
            ++others;
    }
    return others;
}

// Runs the event loop until done() holds or timeoutMs passes. It sleeps
// between checks, so it adds no load of its own; callers that time an event
// take the time in the event's handler, not here.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || t.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

using PageProbe::settle;

inline double nowMs()
{
    using namespace std::chrono;
    return double(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count())
        / 1000.0;
}

// Marks the page's first presented video frame, in wall-clock milliseconds,
// by a script in the viewer's own world of every document.
inline void watchFirstFrame(QWebEnginePage *page)
{
    QWebEngineScript probe;
    probe.setName(QStringLiteral("first-frame"));
    probe.setInjectionPoint(QWebEngineScript::DocumentCreation);
    probe.setWorldId(QWebEngineScript::ApplicationWorld);
    probe.setSourceCode(QStringLiteral(R"(
document.addEventListener('loadeddata', function (e) {
  var v = e.target, root = document.documentElement;
  if (root.hasAttribute('data-first-frame') || !v.requestVideoFrameCallback) return;
  v.requestVideoFrameCallback(function () {
    if (!root.hasAttribute('data-first-frame'))
      root.setAttribute('data-first-frame', String(performance.timeOrigin + performance.now()));
  });
}, true);)"));
    page->scripts().insert(probe);
}

// Milliseconds from startedAt (nowMs()) to the first frame, -1 when none came.
inline double firstFrameAfter(QWebEnginePage *page, double startedAt, int timeoutMs = 20000)
{
    double at = -1;
    waitFor(
        [&] {
            const QVariant v = PageProbe::run(page,
                QStringLiteral("document.documentElement.getAttribute('data-first-frame')"), 1000);
            // Until the new document commits, the channel page being left answers.
            if (v.isValid() && !v.isNull() && v.toString().toDouble() > startedAt)
                at = v.toString().toDouble();
            return at > 0;
        },
        timeoutMs);
    return at > 0 ? at - startedAt : -1;
}

// Serves the site from a thread of its own, as a remote site would: a busy
// GUI thread never delays an answer, and the viewer's figures carry none of
// the serving work.
class SiteServer {
public:
    explicit SiteServer(const std::function<void(VendorServer &)> &setup = {})
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_anchor,
            [&] {
                m_server = new VendorServer(&m_anchor);
                m_server->setRoot(QStringLiteral(SITE_DIR));
                if (setup)
                    setup(*m_server);
                if (m_server->listen())
                    m_baseUrl = m_server->baseUrl();
            },
            Qt::BlockingQueuedConnection);
    }
    ~SiteServer()
    {
        // Its sockets belong to the server thread, so they go there too.
        QMetaObject::invokeMethod(
            &m_anchor, [&] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    SiteServer(const SiteServer &) = delete;
    SiteServer &operator=(const SiteServer &) = delete;

    bool ok() const { return !m_baseUrl.isEmpty(); }
    QString baseUrl() const { return m_baseUrl; }

private:
    QThread m_thread;
    QObject m_anchor;
    VendorServer *m_server = nullptr;
    QString m_baseUrl;
};

// Processes whose parent is this one.
inline QList<qint64> childPids()
{
    QList<qint64> pids;
    const qint64 self = QCoreApplication::applicationPid();
    const QHash<qint64, qint64> parents = parentPids();
    for (auto it = parents.cbegin(); it != parents.cend(); ++it)
        if (it.value() == self)
            pids << it.key();
    return pids;
}

// Reaps the engine helpers a finished child left behind (this process is
// their subreaper), so none of them still runs or shares pages with the
// next child: both would skew its figures.
inline void reapOrphans(int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid < 0)
            return; // no children left
        if (pid > 0)
            continue;
        if (t.elapsed() > timeoutMs)
            break;
        QThread::msleep(10);
    }
    for (qint64 pid : childPids())
        ::kill(pid_t(pid), SIGKILL);
    while (waitpid(-1, nullptr, 0) > 0) { }
    std::fprintf(stderr, "engine helpers still running %d ms after their process ended; killed\n",
        timeoutMs);
}

// One run of this program in another mode, as a child process: its output
// lines, or nothing when it failed or hung.
inline QStringList runChild(const QStringList &args, int timeoutMs)
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    QStringList lines;
    {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), args);
        if (!child.waitForStarted(10000))
            return {};
        const bool finished = child.waitForFinished(timeoutMs);
        if (!finished) {
            std::fprintf(stderr, "child %s timed out\n", qPrintable(args.join(u' ')));
            child.kill();
            child.waitForFinished(5000);
        }
        lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
    reapOrphans(10000);
    return lines;
}

// The value of "key=value" in a child's line starting with tag.
inline double field(const QStringList &lines, const QString &tag, const QString &key)
{
    for (const QString &line : lines) {
        if (!line.startsWith(tag + u' '))
            continue;
        for (const QString &part : line.split(u' ', Qt::SkipEmptyParts)) {
            if (part.startsWith(key + u'='))
                return part.mid(key.size() + 1).toDouble();
        }
    }
    return -1;
}

// One row of the runner's table: figure | value | floor | ratio.
inline void row(const QString &figure, const QString &value, const QString &floor, double r)
{
    std::printf("ROW\t%s\t%s\t%s\t%s\n", qPrintable(figure), qPrintable(value), qPrintable(floor),
        r > 0 ? qPrintable(QString::number(r, 'f', 2)) : "n/a");
}

// Runs the viewer's start-up and waits until its window shows the demo list.
// Runs start() and waits until page's next load has ended; whether it
// ended well.
inline bool waitLoaded(QWebEnginePage *page, const std::function<void()> &start)
{
    bool done = false;
    bool ok = false;
    const auto c = QObject::connect(page, &QWebEnginePage::loadFinished, page, [&](bool r) {
        done = true;
        ok = r;
    });
    start();
    waitFor([&] { return done; }, 20000);
    QObject::disconnect(c);
    return ok;
}

// The viewer against the site at baseUrl, with a start-page store that
// already holds the vendor's navigation page, so start-up offers nothing and
// the figures carry no message box.
inline ViewerOptions viewerOptionsFor(const QString &baseUrl)
{
    ViewerOptions options {VendorSite(baseUrl)};
    auto store = std::make_shared<MemoryStartPage>();
    store->value = options.site.navigationPage();
    options.startPageStore = memoryStoreFactory(store);
    return options;
}

inline bool startWithDemoList(MainWindow &w)
{
    int channels = -1;
    const auto c
        = QObject::connect(guideOf(w), &ChannelGuide::listLoaded, &w, [&](int n) { channels = n; });
    w.start();
    const bool ok = waitFor([&] { return channels >= 0 && w.isVisible(); }, 30000) && channels > 0;
    QObject::disconnect(c);
    if (!ok)
        std::fprintf(stderr, "the demo list did not load\n");
    return ok;
}

// The viewer on the demo site served from a thread of its own, as the
// viewer-side figures start from: start() runs start-up until the demo list
// is in and the window shows.
class DemoViewer {
public:
    explicit DemoViewer(const std::function<void(VendorServer &)> &setup = {})
        : server(setup), window(viewerOptionsFor(server.baseUrl()))
    {
    }
    bool start()
    {
        if (!server.ok()) {
            std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
            return false;
        }
        return startWithDemoList(window);
    }

    SiteServer server;
    MainWindow window;
};

inline QByteArray playerResource(const QString &name)
{
    QFile f(QStringLiteral(":/player/") + name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Bare pages that play the live demo streams with the libraries built into
// the viewer, as a page author takes them: stock settings. /bench/hls.htm
// plays /live/hls/index.m3u8 with hls.js, /bench/flv.htm /live/flv/14.flv
// with mpegts.js.
inline void serveStockPlayerPages(VendorServer &server)
{
    VendorServer::Response js;
    js.contentType = "text/javascript";
    js.body = playerResource(QStringLiteral("hls.min.js"));
    server.setRoute(QStringLiteral("/bench/hls.min.js"), js);
    js.body = playerResource(QStringLiteral("mpegts.js"));
    server.setRoute(QStringLiteral("/bench/mpegts.js"), js);
    VendorServer::Response page;
    page.contentType = "text/html; charset=utf-8";
    page.body = R"(<!DOCTYPE html><html><body style="margin:0;background:#000">
<video id="tv" controls autoplay style="width:100%;height:100%"></video>
<script src="/bench/hls.min.js"></script><script>
var hls = new Hls();
hls.loadSource('/live/hls/index.m3u8');
hls.attachMedia(document.getElementById('tv'));
</script></body></html>)";
    server.setRoute(QStringLiteral("/bench/hls.htm"), page);
    page.body = R"(<!DOCTYPE html><html><body style="margin:0;background:#000">
<video id="tv" controls autoplay style="width:100%;height:100%"></video>
<script src="/bench/mpegts.js"></script><script>
var p = mpegts.createPlayer({ type: 'flv', isLive: true, url: '/live/flv/14.flv' });
p.attachMediaElement(document.getElementById('tv'));
p.load();
p.play();
</script></body></html>)";
    server.setRoute(QStringLiteral("/bench/flv.htm"), page);
}

} // namespace Bench
