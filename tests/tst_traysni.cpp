// The tray on D-Bus, as KDE Plasma, GNOME with the AppIndicator extension,
// Deepin and Xfce's StatusNotifier plugin show it. A StatusNotifier watcher
// and host of the test's own (sniwatcher) runs on a private session bus, so
// Qt puts the icon there instead of IceWM's XEmbed tray; the host's calls on
// the item are the user's clicks.

#include "app/mainwindow.h"
#include "app/windowbehaviour.h"
#include "testsupport.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QWindow>
#include <QtTest>

using namespace X11Probe;

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");

bool watcherOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(WatcherService);
}

// The items the watcher lists, read over the bus as a host reads them.
QStringList registeredItems()
{
    QDBusInterface watcher(
        WatcherService, WatcherPath, WatcherService, QDBusConnection::sessionBus());
    return watcher.property("RegisteredStatusNotifierItems").toStringList();
}

// Runs sniwatcher and keeps what it reports.
class SniHost : public QObject {
public:
    explicit SniHost(QObject *parent) : QObject(parent) { }
    ~SniHost() override { (void)stop(); }

    bool start(const QStringList &args)
    {
        stop();
        m_args = args;
        m_process = new QProcess(this);
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        connect(m_process, &QProcess::readyReadStandardOutput, this, [this] {
            while (m_process->canReadLine())
                lines << QString::fromUtf8(m_process->readLine()).trimmed();
        });
        connect(m_process, &QProcess::finished, this, [this] { m_ended = !m_stopping; });
        m_process->start(QStringLiteral(SNIWATCHER), args);
        return QTest::qWaitFor([this] { return lines.contains("ready"); }, 10000) && watcherOnBus();
    }

    bool running(const QStringList &args) const
    {
        return m_process && m_process->state() == QProcess::Running && m_args == args;
    }

    // Ends the watcher; true once its name has left the bus.
    bool stop()
    {
        if (!m_process)
            return !watcherOnBus();
        m_stopping = true;
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(5000))
            m_process->kill();
        m_process->waitForFinished(2000);
        delete m_process;
        m_process = nullptr;
        m_stopping = false;
        lines.clear();
        return QTest::qWaitFor([] { return !watcherOnBus(); }, 5000);
    }

    // One host call on the item registered last, e.g. "Activate 12 34".
    void call(const QString &line) { m_process->write((line + u'\n').toUtf8()); }

    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &l : lines)
            n += l.startsWith(prefix) ? 1 : 0;
        return n;
    }

    // Whether the watcher ended without being asked to.
    bool ended() const { return m_ended; }

    QStringList lines;

private:
    QProcess *m_process = nullptr;
    bool m_stopping = false;
    bool m_ended = false;
    QStringList m_args;
};

} // namespace

class tst_TraySni : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void detection_data();
    void detection();
    void hostCalls_data();
    void hostCalls();
    void hostSeesIcon();
    void oneItemAcrossTrips();
    void shownByProgramRemovesItem();
    void bringToFrontFromTray();

private:
    void openViewer();
    void minimise(bool viaWindowManager = false);
    QSystemTrayIcon *trayIcon() const { return m_f.window->findChild<QSystemTrayIcon *>(); }
    // In the tray as a person sees it: the icon there, the window gone.
    bool inTray() const
    {
        return trayIcon() && trayIcon()->isVisible() && !m_f.window->isVisible();
    }

    SniHost *m_host = nullptr;
    ViewerFixture m_f;
};

void tst_TraySni::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(),
        "needs a private session bus: run through xrun.sh --session-bus");
    m_host = new SniHost(this);
}

void tst_TraySni::cleanup()
{
    QVERIFY2(!m_host->ended(), "the watcher ended on its own");
    m_f.tearDown();
    // A deleted icon leaves the bus; the next test starts with none listed
    // and nothing of this one still to be reported.
    if (m_host->running({})) {
        QTRY_COMPARE(m_host->count("unregistered "), m_host->count("registered "));
        QCOMPARE(registeredItems(), QStringList());
    }
    m_host->lines.clear();
}

void tst_TraySni::cleanupTestCase()
{
    QVERIFY(m_host->stop());
}

// Runs before any tray icon exists: Qt settles the icon's kind once, for the
// first icon of the process, and by then the watcher with a host is up.
void tst_TraySni::detection_data()
{
    QTest::addColumn<QStringList>("watcher"); // sniwatcher arguments; "-": no watcher
    QTest::addColumn<bool>("onBus");
    QTest::newRow("no watcher") << QStringList {"-"} << false;
    // Before any other: a connection keeps the first description of an
    // interface it has introspected, for Qt's own asking as well.
    QTest::newRow("watcher that cannot be introspected") << QStringList {"--opaque"} << false;
    QTest::newRow("watcher without host") << QStringList {"--no-host"} << false;
    QTest::newRow("watcher with host") << QStringList {} << true;
}

void tst_TraySni::detection()
{
    QFETCH(QStringList, watcher);
    QFETCH(bool, onBus);
    if (watcher == QStringList {"-"}) {
        QVERIFY(m_host->stop());
    } else {
        QVERIFY(m_host->start(watcher));
    }
    if (watcher == QStringList {"--opaque"}) {
        // The property itself says yes; only the introspected interface
        // that Qt goes through says no.
        QDBusMessage get = QDBusMessage::createMethodCall(
            WatcherService, WatcherPath, "org.freedesktop.DBus.Properties", "Get");
        get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments().value(0).value<QDBusVariant>().variant().toBool(), true);
    }
    QCOMPARE(statusNotifierHostRegistered(), onBus);
}

void tst_TraySni::openViewer()
{
    if (!m_host->running({}))
        QVERIFY(m_host->start({}));
    QVERIFY(m_f.setUp(0, true, [](ViewerOptions &o) { o.endProgram = [] {}; }));
    QVERIFY(m_f.show());
    QTRY_VERIFY(managed(m_f.xid()));
}

void tst_TraySni::minimise(bool viaWindowManager)
{
    const int registrations = m_host->count("registered ");
    if (viaWindowManager) {
        // The window manager ignores a request for a window it has not
        // framed yet, as it may not have right after a restore.
        QTRY_VERIFY(managed(m_f.xid()));
        xdotool({"windowminimize", hexId(m_f.xid())});
    } else {
        m_f.window->setWindowState(Qt::WindowMinimized);
    }
    QTRY_VERIFY(!m_f.window->isVisible());
    QTRY_VERIFY(inTray());
    QTRY_COMPARE(m_host->count("registered "), registrations + 1);
    QTRY_COMPARE(registeredItems().size(), 1);
    QTRY_VERIFY(!managed(m_f.xid()));
    // On the bus only: nothing docked in IceWM's own tray.
    QCOMPARE(trayClients(m_f.xid()).size(), 0);
    // Qt has seen the window lose the focus, as it has by the time a user
    // reaches for the icon.
    QTRY_VERIFY(QGuiApplication::focusWindow() != m_f.window->windowHandle());
}

void tst_TraySni::hostCalls_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("times");
    QTest::addColumn<int>("reason"); // reported for each call that reaches the icon; -1: none
    QTest::addColumn<bool>("restores");

    using R = QSystemTrayIcon;
    QTest::newRow("Activate (left click)") << "Activate 12 34" << 1 << int(R::Trigger) << true;
    QTest::newRow("Activate twice") << "Activate 12 34" << 2 << int(R::Trigger) << true;
    QTest::newRow("Activate at 0, 0") << "Activate 0 0" << 1 << int(R::Trigger) << true;
    QTest::newRow("SecondaryActivate (middle click)")
        << "SecondaryActivate 12 34" << 1 << int(R::MiddleClick) << false;
    QTest::newRow("ContextMenu (right click)")
        << "ContextMenu 12 34" << 1 << int(R::Context) << false;
    QTest::newRow("Scroll") << "Scroll 120 vertical" << 1 << -1 << false;
}

void tst_TraySni::hostCalls()
{
    QFETCH(QString, call);
    QFETCH(int, times);
    QFETCH(int, reason);
    QFETCH(bool, restores);

    openViewer();
    const WId id = m_f.xid();
    minimise();
    QSystemTrayIcon *tray = trayIcon();
    QSignalSpy spy(tray, &QSystemTrayIcon::activated);
    const QString method = call.section(u' ', 0, 0);
    for (int i = 0; i < times; ++i)
        m_host->call(call);
    // The host hears back once the item has handled each call; a call after
    // the icon left answers with an error.
    QTRY_COMPARE(m_host->count("reply " + method), times);
    QVERIFY2(
        m_host->lines.contains("reply " + method + " ok"), qPrintable(m_host->lines.join('\n')));
    if (reason < 0) {
        QCOMPARE(spy.size(), 0);
    } else {
        QVERIFY(spy.size() >= 1 && spy.size() <= times);
        for (const QList<QVariant> &args : spy)
            QCOMPARE(args.at(0).toInt(), reason);
    }

    if (restores) {
        QTRY_VERIFY(m_f.window->isVisible());
        QCOMPARE(m_f.window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized),
            Qt::WindowNoState);
        QVERIFY(!inTray());
        QTRY_VERIFY(viewable(m_f.xid()));
        QTRY_VERIFY(managed(m_f.xid()));
        QTRY_VERIFY(!netWmState(m_f.xid()).contains("HIDDEN"));
        QTRY_VERIFY(m_f.window->isActiveWindow());
        // The icon has left the host.
        QVERIFY(!tray->isVisible());
        QTRY_COMPARE(m_host->count("unregistered "), 1);
        QTRY_COMPARE(registeredItems(), QStringList());
    } else {
        // A restore would have shown the window before the reply left.
        QVERIFY(!m_f.window->isVisible());
        QTRY_VERIFY(inTray());
        QVERIFY(!managed(id));
        QVERIFY(tray->isVisible());
        QCOMPARE(registeredItems().size(), 1);
        QCOMPARE(m_host->count("unregistered "), 0);
    }
}

void tst_TraySni::hostSeesIcon()
{
    openViewer();
    minimise();
    QTRY_COMPARE(m_host->count("item "), 1);
    const QString item = m_host->lines.filter(QRegularExpression("^item ")).first();
    QVERIFY2(item.contains(" status=Active "), qPrintable(item));
    QVERIFY2(item.contains(" tooltip=栎川在线电视机 "), qPrintable(item));
    // The window's 32 x 32 icon.
    QVERIFY2(item.contains(QRegularExpression(" pixmaps=.*\\b32x32\\b")), qPrintable(item));
}

void tst_TraySni::oneItemAcrossTrips()
{
    openViewer();
    minimise();
    m_host->call("Activate 1 1");
    QTRY_VERIFY(m_f.window->isVisible());
    QTRY_COMPARE(registeredItems(), QStringList());
    QTRY_VERIFY(viewable(m_f.xid()));
    minimise(true);
    QCOMPARE(m_f.window->findChildren<QSystemTrayIcon *>().size(), 1);
    QCOMPARE(registeredItems().size(), 1);
    m_host->call("Activate 1 1");
    QTRY_VERIFY(m_f.window->isVisible());
    QTRY_VERIFY(viewable(m_f.xid()));
    QTRY_COMPARE(registeredItems(), QStringList());
    QCOMPARE(m_host->count("registered "), 2);
    QTRY_COMPARE(m_host->count("unregistered "), 2);
}

void tst_TraySni::shownByProgramRemovesItem()
{
    openViewer();
    minimise();
    // As the channel-list loader shows the window.
    m_f.window->show();
    QVERIFY(!inTray());
    QTRY_COMPARE(registeredItems(), QStringList());
    QTRY_VERIFY(managed(m_f.xid()));
    // Back from the taskbar, then the tray path again.
    xdotool({"windowactivate", hexId(m_f.xid())});
    QTRY_VERIFY(viewable(m_f.xid()));
    QTRY_COMPARE(m_f.window->windowState() & Qt::WindowMinimized, Qt::WindowNoState);
    minimise();
    m_host->call("Activate 5 5");
    QTRY_VERIFY(m_f.window->isVisible());
    QTRY_COMPARE(registeredItems(), QStringList());
}

void tst_TraySni::bringToFrontFromTray()
{
    openViewer();
    minimise();
    m_f.window->bringToFront();
    QVERIFY(m_f.window->isVisible());
    QVERIFY(!inTray());
    QTRY_VERIFY(viewable(m_f.xid()));
    QTRY_COMPARE(registeredItems(), QStringList());
}

VIEWER_TEST_MAIN(tst_TraySni)
#include "tst_traysni.moc"
