// One viewer per user: a second start asks the running viewer to come
// forward and ends, also after a crash left its socket behind and when
// starts race. The other starts are real processes.

#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "testsupport.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longer than a start takes on a busy machine, shorter than the time a
// start that found no answer would wait before giving up.
constexpr int QuickMs = 8000;

bool privateToUser(const QString &path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

bool isSocket(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Everything p printed so far.
QString heard(QProcess *p)
{
    const QString all
        = p->property("heard").toString() + QString::fromLatin1(p->readAllStandardOutput());
    p->setProperty("heard", all);
    return all;
}

} // namespace

using X11Probe::viewable;

class tst_SingleInstance : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstStartListensForItsUserOnly();
    void defaultNameIsTheUsers();
    void secondStartAsksAndEnds_data();
    void secondStartAsksAndEnds();
    void crashLeavesNothingInTheWay_data();
    void crashLeavesNothingInTheWay();
    void racingStarts_data();
    void racingStarts();
    void unansweredRequest_data();
    void unansweredRequest();
    void bringsViewerForward_data();
    void bringsViewerForward();

private:
    // Starts a helper process; it is killed at the end of the test.
    QProcess *startHelper(const QStringList &args);
    QProcess *startProgram(const QString &program, const QStringList &args);
    // Starts a helper that claims m_name and waits until it runs.
    QProcess *startRunningViewer();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_name;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void tst_SingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_name = m_dir->filePath(QStringLiteral("viewer"));
}

void tst_SingleInstance::cleanup()
{
    for (auto &p : m_processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    m_processes.clear();
    m_dir.reset();
}

QProcess *tst_SingleInstance::startProgram(const QString &program, const QStringList &args)
{
    m_processes.push_back(std::make_unique<QProcess>());
    QProcess *p = m_processes.back().get();
    p->setProcessChannelMode(QProcess::SeparateChannels);
    p->start(program, args);
    return p;
}

QProcess *tst_SingleInstance::startHelper(const QStringList &args)
{
    return startProgram(QStringLiteral(START_HELPER), args);
}

QProcess *tst_SingleInstance::startRunningViewer()
{
    QProcess *p = startHelper({QStringLiteral("claim"), m_name});
    if (!p->waitForReadyRead(QuickMs) || heard(p) != QLatin1String("running\n"))
        return nullptr;
    return p;
}

void tst_SingleInstance::firstStartListensForItsUserOnly()
{
    SingleInstance instance(m_name);
    QVERIFY(!instance.isRunningViewer());
    QVERIFY(instance.claim());
    QVERIFY(instance.isRunningViewer());
    QVERIFY(isSocket(m_name));
    QVERIFY(privateToUser(m_name));
    // The turn is given back.
    QVERIFY(!QFileInfo::exists(instance.lockFilePath()));
    // Claiming again changes nothing.
    QVERIFY(instance.claim());
}

void tst_SingleInstance::defaultNameIsTheUsers()
{
    const QString name = SingleInstance::defaultName();
    QVERIFY(name.contains(QString::number(::getuid())));
    // It lives in a directory no other user can enter.
    const QString dir = QFileInfo(name).absolutePath();
    QCOMPARE(dir, QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    QVERIFY(privateToUser(dir));
    QVERIFY(SingleInstance().name() == name);
}

void tst_SingleInstance::secondStartAsksAndEnds_data()
{
    QTest::addColumn<bool>("viewer");
    // The helper claims as the viewer does; the viewer itself shows that
    // its start-up asks before it makes a window or goes on the network.
    QTest::newRow("second claimant") << false;
    QTest::newRow("second viewer") << true;
}

void tst_SingleInstance::secondStartAsksAndEnds()
{
    QFETCH(bool, viewer);
    SingleInstance running(viewer ? SingleInstance::defaultName() : m_name);
    QVERIFY(running.claim());
    QSignalSpy asked(&running, &SingleInstance::activationRequested);

    QElapsedTimer clock;
    clock.start();
    QProcess *second = viewer ? startProgram(QStringLiteral(VIEWER_PROGRAM), {})
                              : startHelper({QStringLiteral("claim"), m_name});
    QVERIFY(second->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, QuickMs);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(asked.count(), 1);
    QVERIFY2(clock.elapsed() < QuickMs, qPrintable(QString::number(clock.elapsed())));
    if (!viewer)
        QCOMPARE(heard(second), QStringLiteral("asked\n"));
    // Still the running viewer, and ready for the next start.
    QVERIFY(running.isRunningViewer());
    QProcess *third = startHelper({QStringLiteral("claim"), running.name()});
    QTRY_VERIFY_WITH_TIMEOUT(third->state() == QProcess::NotRunning, QuickMs);
    QCOMPARE(third->exitCode(), 0);
    QCOMPARE(asked.count(), 2);
}

void tst_SingleInstance::crashLeavesNothingInTheWay_data()
{
    QTest::addColumn<bool>("lockHeld");
    QTest::newRow("viewer killed") << false;
    QTest::newRow("viewer killed, claimant killed in its turn") << true;
}

void tst_SingleInstance::crashLeavesNothingInTheWay()
{
    QFETCH(bool, lockHeld);
    QProcess *crashed = startRunningViewer();
    QVERIFY(crashed);
    crashed->kill();
    QVERIFY(crashed->waitForFinished(5000));
    // What the crash left: a socket nobody listens on.
    QVERIFY(isSocket(m_name));
    if (lockHeld) {
        QProcess *holder
            = startHelper({QStringLiteral("lock"), SingleInstance(m_name).lockFilePath()});
        QVERIFY(holder->waitForReadyRead(QuickMs));
        QCOMPARE(heard(holder), QStringLiteral("locked\n"));
        holder->kill();
        QVERIFY(holder->waitForFinished(5000));
        QVERIFY(QFileInfo::exists(SingleInstance(m_name).lockFilePath()));
    }

    SingleInstance next(m_name);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(next.claim());
    // Neither leftover is waited out.
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(next.isRunningViewer());

    // And the starts after it find it.
    QSignalSpy asked(&next, &SingleInstance::activationRequested);
    QProcess *second = startHelper({QStringLiteral("claim"), m_name});
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, QuickMs);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(heard(second), QStringLiteral("asked\n"));
    QCOMPARE(asked.count(), 1);
}

void tst_SingleInstance::racingStarts_data()
{
    QTest::addColumn<int>("starts");
    QTest::addColumn<bool>("afterCrash");
    QTest::newRow("two") << 2 << false;
    QTest::newRow("five") << 5 << false;
    QTest::newRow("five after a crash") << 5 << true;
}

void tst_SingleInstance::racingStarts()
{
    QFETCH(int, starts);
    QFETCH(bool, afterCrash);
    if (afterCrash) {
        QProcess *crashed = startRunningViewer();
        QVERIFY(crashed);
        crashed->kill();
        QVERIFY(crashed->waitForFinished(5000));
    }

    // All of them ready before any claims, then set off together.
    std::vector<QProcess *> racers;
    for (int i = 0; i < starts; ++i)
        racers.push_back(startHelper({QStringLiteral("race"), m_name}));
    for (QProcess *p : racers) {
        QVERIFY(p->waitForReadyRead(QuickMs));
        QCOMPARE(heard(p), QStringLiteral("ready\n"));
    }
    for (QProcess *p : racers)
        p->write("go\n");
    const auto ended = [&] {
        return int(std::count_if(racers.begin(), racers.end(),
            [](QProcess *p) { return p->state() == QProcess::NotRunning; }));
    };
    // Exactly one stays, and every other one asked it.
    QTRY_COMPARE_WITH_TIMEOUT(ended(), starts - 1, 20000);
    QProcess *survivor = nullptr;
    for (QProcess *p : racers) {
        if (p->state() != QProcess::NotRunning) {
            survivor = p;
            continue;
        }
        QCOMPARE(p->exitCode(), 0);
        QCOMPARE(heard(p), QStringLiteral("ready\nasked\n"));
    }
    QVERIFY(survivor);
    QTRY_COMPARE_WITH_TIMEOUT(
        heard(survivor).count(QStringLiteral("activated\n")), starts - 1, QuickMs);
    QVERIFY(heard(survivor).startsWith(QStringLiteral("ready\nrunning\n")));
    QCOMPARE(heard(survivor).count(u'\n'), starts + 1);
}

void tst_SingleInstance::unansweredRequest_data()
{
    QTest::addColumn<bool>("hangsUp");
    QTest::addColumn<QString>("said");
    // A viewer busy elsewhere reads the request later: do not start another.
    QTest::newRow("busy viewer") << false << QStringLiteral("asked\n");
    // One that hangs up unanswered is on its way out: take its place.
    QTest::newRow("viewer hangs up") << true << QStringLiteral("running\n");
}

void tst_SingleInstance::unansweredRequest()
{
    QFETCH(bool, hangsUp);
    QFETCH(QString, said);
    QLocalServer mute;
    mute.setSocketOptions(QLocalServer::UserAccessOption);
    QVERIFY(mute.listen(m_name));
    int connections = 0;
    connect(&mute, &QLocalServer::newConnection, this, [&] {
        while (QLocalSocket *peer = mute.nextPendingConnection()) {
            ++connections;
            if (hangsUp)
                peer->abort();
        }
    });

    QProcess *second = startHelper({QStringLiteral("claim"), m_name});
    QTRY_COMPARE_WITH_TIMEOUT(heard(second), said, QuickMs);
    QCOMPARE(connections, 1);
    if (!hangsUp) {
        QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, QuickMs);
        QCOMPARE(second->exitCode(), 0);
    } else {
        // The newcomer runs, and later starts find it.
        QProcess *third = startHelper({QStringLiteral("claim"), m_name});
        QTRY_VERIFY_WITH_TIMEOUT(third->state() == QProcess::NotRunning, QuickMs);
        QCOMPARE(heard(third), QStringLiteral("asked\n"));
        QTRY_COMPARE(heard(second), QStringLiteral("running\nactivated\n"));
        QCOMPARE(connections, 1);
    }
}

void tst_SingleInstance::bringsViewerForward_data()
{
    QTest::addColumn<bool>("trayAvailable");
    QTest::addColumn<bool>("minimise");
    QTest::newRow("in the tray") << true << true;
    QTest::newRow("minimised on the task bar") << false << true;
    QTest::newRow("already shown") << true << false;
}

void tst_SingleInstance::bringsViewerForward()
{
    QFETCH(bool, trayAvailable);
    QFETCH(bool, minimise);
    QVERIFY(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));

    ViewerFixture f;
    QVERIFY(f.setUp(0, true, [trayAvailable](ViewerOptions &o) {
        o.endProgram = [] {};
        if (!trayAvailable)
            o.tray.available = [] { return false; };
    }));
    MainWindow *w = f.window;

    SingleInstance instance(m_name);
    QVERIFY(instance.claim());
    Startup::bringForwardOnRequest(instance, *w);
    QVERIFY(f.show());

    if (minimise) {
        w->setWindowState(Qt::WindowMinimized);
        if (trayAvailable) {
            QTRY_VERIFY(!w->isVisible());
            auto *tray = w->findChild<QSystemTrayIcon *>();
            QVERIFY(tray);
            QTRY_VERIFY(tray->isVisible());
        } else {
            QTRY_VERIFY(!viewable(f.xid()));
            QVERIFY(w->isMinimized());
        }
    }

    QProcess *second = startHelper({QStringLiteral("claim"), m_name});
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, QuickMs);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(heard(second), QStringLiteral("asked\n"));

    QTRY_VERIFY(w->isVisible());
    QTRY_VERIFY(!w->isMinimized());
    QTRY_VERIFY(viewable(f.xid()));
    // Never more than one icon, now none.
    int shown = 0;
    for (QSystemTrayIcon *t : w->findChildren<QSystemTrayIcon *>())
        shown += t->isVisible() ? 1 : 0;
    QCOMPARE(shown, 0);
}

VIEWER_TEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
