// The viewer as one of the desktop's media players, end to end on a private
// session bus: the desktop's side (a screen saver, power management and the
// portal, each recording who holds it, and a media widget) sits on a
// connection of its own; the X server's own screen saver is read through its
// extension; media keys come from xdotool. One journey, a step a row.

#include "app/mainwindow.h"
#include "guide/channelmodel.h"
#include "testsupport.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QSystemTrayIcon>
#include <QtTest>
#include <qguiapplication_platform.h>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

using namespace X11Probe;

namespace {
const QString Mpris = QStringLiteral("org.mpris.MediaPlayer2.lichuantv");
const QString MprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QStringList Kinds {"org.freedesktop.ScreenSaver", "org.freedesktop.PowerManagement.Inhibit",
    "org.freedesktop.portal.Inhibit"};

QVariant plain(const QVariant &v)
{
    if (v.canConvert<QDBusVariant>())
        return plain(v.value<QDBusVariant>().variant());
    if (v.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v;
}
} // namespace

// The desktop's side of the bus, on its own connection.
class FakeDesktop : public QObject {
    Q_OBJECT
public:
    struct Hold {
        QString kind;
        QString sender;
        QString token;
    };
    QList<Hold> holds;
    // What PropertiesChanged has told of the player, merged.
    QVariantMap told;
    QStringList toldTitles;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");

    bool start()
    {
        const QStringList paths {"/org/freedesktop/ScreenSaver",
            "/org/freedesktop/PowerManagement/Inhibit", "/org/freedesktop/portal/desktop"};
        for (int i = 0; i < Kinds.size(); ++i) {
            if (!bus.registerObject(paths[i], Kinds[i], this, QDBusConnection::ExportAllSlots))
                return false;
        }
        return bus.registerService("org.freedesktop.ScreenSaver")
            && bus.registerService("org.freedesktop.PowerManagement")
            && bus.registerService("org.freedesktop.portal.Desktop")
            && bus.connect(Mpris, MprisPath, Properties, "PropertiesChanged", this,
                SLOT(changed(QString, QVariantMap, QStringList)));
    }
    int held(const QString &kind, const QString &sender = {}) const
    {
        return int(std::count_if(holds.begin(), holds.end(), [&](const Hold &h) {
            return h.kind == kind && (sender.isEmpty() || h.sender == sender);
        }));
    }
    // Calls the viewer's player as a media widget does, and waits for the answer.
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(Mpris, MprisPath, interface, method);
        m.setArguments(args);
        QDBusPendingCall pending = bus.asyncCall(m);
        (void)QTest::qWaitFor([&] { return pending.isFinished(); }, 10000);
        return pending.reply();
    }
    QVariant property(
        const QString &name, const QString &interface = "org.mpris.MediaPlayer2.Player")
    {
        return plain(call(Properties, "Get", {interface, name}).arguments().value(0));
    }

public slots:
    uint Inhibit(const QString &, const QString &, const QDBusMessage &m)
    {
        return hold(m).toUInt();
    }
    void UnInhibit(uint cookie, const QDBusMessage &m) { release(m, QString::number(cookie)); }
    QDBusObjectPath Inhibit(const QString &, uint, const QVariantMap &, const QDBusMessage &m)
    {
        const QDBusObjectPath handle("/org/freedesktop/portal/desktop/request/h" + hold(m));
        bus.registerObject(
            handle.path(), "org.freedesktop.portal.Request", this, QDBusConnection::ExportAllSlots);
        return handle;
    }
    void Close(const QDBusMessage &m)
    {
        release(m, m.path().section('h', -1));
        bus.unregisterObject(m.path());
    }
    void changed(const QString &, const QVariantMap &props, const QStringList &)
    {
        for (auto it = props.begin(); it != props.end(); ++it)
            told[it.key()] = plain(it.value());
        toldTitles << told.value("Metadata").toMap().value("xesam:title").toString();
    }

private:
    QString hold(const QDBusMessage &m)
    {
        holds.append({m.interface(), m.service(), QString::number(++m_tokens)});
        return holds.last().token;
    }
    int m_tokens = 0;
    void release(const QDBusMessage &m, const QString &token)
    {
        holds.removeIf([&](const Hold &h) {
            return h.sender == m.service() && h.token == token
                && (h.kind == m.interface() || m.interface() == "org.freedesktop.portal.Request");
        });
    }
};

class tst_Desktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void journey_data();
    void journey();

private:
    XScreenSaverInfo saver() const
    {
        XScreenSaverInfo info {};
        XScreenSaverQueryInfo(m_display, DefaultRootWindow(m_display), &info);
        return info;
    }
    QSystemTrayIcon *trayIcon() const { return m_f.window->findChild<QSystemTrayIcon *>(); }

    ViewerFixture m_f;
    FakeDesktop m_desktop;
    Display *m_display = nullptr;
    QString m_ours;
};

void tst_Desktop::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(),
        "needs a private session bus: run through xrun.sh --session-bus");
    QVERIFY(m_desktop.start());
    m_ours = QDBusConnection::sessionBus().baseService();
    m_display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    // The X server blanks after a second without input.
    XSetScreenSaver(m_display, 1, 0, DontPreferBlanking, AllowExposures);
    QVERIFY(m_f.setUp(0, true));
    QVERIFY(startAndFinish(m_f.window));
    QTRY_COMPARE(m_f.guide()->channelCount(), bundledChannelCount());
    QTRY_VERIFY(managed(m_f.xid()));
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    QCOMPARE(m_desktop.property("Identity", root).toString(), QStringLiteral("栎川在线电视机"));
    QCOMPARE(m_desktop.property("DesktopEntry", root).toString(), QStringLiteral("lichuantv"));
    QVERIFY(m_desktop.property("CanRaise", root).toBool());
    QVERIFY(!m_desktop.property("CanQuit", root).toBool());
    QVERIFY(!m_desktop.property("CanPause").toBool());
    QVERIFY(m_desktop.property("CanGoNext").toBool());
}

void tst_Desktop::cleanupTestCase()
{
    m_f.tearDown();
}

void tst_Desktop::journey_data()
{
    QTest::addColumn<int>("select"); // the row selected first; -1: none
    QTest::addColumn<QString>("action"); // an MPRIS call, "key <keysym>" or "tray"
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("told"); // the title the desktop is told of on the way
    QTest::addColumn<bool>("awake"); // held, and the X screen saver suspended

    QTest::newRow("before anything plays") << -1 << ""
                                           << "Stopped"
                                           << "" << false;
    QTest::newRow("Play plays the selected") << 0 << "Play"
                                             << "Playing"
                                             << "栎川一台" << true;
    QTest::newRow("Next plays the next") << -1 << "Next"
                                         << "Playing"
                                         << "测试彩条" << true;
    QTest::newRow("the next-track key") << -1 << "key XF86AudioNext"
                                        << "Playing"
                                        << "新闻频道" << true;
    QTest::newRow("to the tray: the screen may sleep") << -1 << "tray"
                                                       << "Playing"
                                                       << "" << false;
    QTest::newRow("Raise, out of the tray") << -1 << "Raise"
                                            << "Playing"
                                            << "" << true;
    QTest::newRow("PlayPause stops") << -1 << "PlayPause"
                                     << "Stopped"
                                     << "" << false;
    QTest::newRow("the play key plays again") << -1 << "key XF86AudioPlay"
                                              << "Playing"
                                              << "新闻频道" << true;
    QTest::newRow("the previous-track key") << -1 << "key XF86AudioPrev"
                                            << "Playing"
                                            << "测试彩条" << true;
    QTest::newRow("Stop") << -1 << "Stop"
                          << "Stopped"
                          << "" << false;
    QTest::newRow("a live stream") << 12 << "Play"
                                   << "Playing"
                                   << "直播一台" << true;
    QTest::newRow("the stop key") << -1 << "key XF86AudioStop"
                                  << "Stopped"
                                  << "" << false;
    QTest::newRow("a channel that ends (无法播放此频道)") << 18 << "Play"
                                                          << "Stopped"
                                                          << "高清H.265" << false;
}

void tst_Desktop::journey()
{
    QFETCH(int, select);
    QFETCH(QString, action);
    QFETCH(QString, status);
    QFETCH(QString, told);
    QFETCH(bool, awake);

    if (select >= 0)
        m_f.guide()->selectionModel()->setCurrentIndex(
            m_f.guide()->model()->index(select, 0), QItemSelectionModel::ClearAndSelect);
    m_desktop.toldTitles.clear();
    if (action.startsWith("key "))
        xdotool({"windowactivate", "--sync", hexId(m_f.xid()), "key", action.mid(4)});
    else if (action == "tray")
        m_f.window->setWindowState(Qt::WindowMinimized);
    else if (!action.isEmpty())
        QCOMPARE(m_desktop
                     .call(action == "Raise" ? "org.mpris.MediaPlayer2"
                                             : "org.mpris.MediaPlayer2.Player",
                         action, {})
                     .type(),
            QDBusMessage::ReplyMessage);

    // Desktop widgets follow what they are told, and what they ask.
    if (!told.isEmpty())
        QTRY_VERIFY2(
            m_desktop.toldTitles.contains(told), qPrintable(m_desktop.toldTitles.join(',')));
    QTRY_COMPARE(m_desktop.told.value("PlaybackStatus", "Stopped").toString(), status);
    QCOMPARE(m_desktop.property("PlaybackStatus").toString(), status);
    const QString title
        = status == "Playing" ? m_f.guide()->model()->entry(m_f.selectedRow()).name : QString();
    QCOMPARE(m_desktop.property("Metadata").toMap().value("xesam:title").toString(), title);
    QCOMPARE(m_desktop.told.value("Metadata").toMap().value("xesam:title").toString(), title);
    // The only player of this process.
    const QStringList names = m_desktop.bus.interface()->registeredServiceNames().value();
    QCOMPARE(names.filter("org.mpris.MediaPlayer2."), QStringList {Mpris});
    if (action == "Raise") {
        QTRY_VERIFY(m_f.window->isVisible() && viewable(m_f.xid()));
        QTRY_VERIFY(m_f.window->isActiveWindow());
        QVERIFY(!trayIcon()->isVisible());
    }

    for (const QString &kind : Kinds)
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.held(kind, m_ours), awake ? 1 : 0, 2000);
    // As a hand on the mouse does.
    XForceScreenSaver(m_display, ScreenSaverReset);
    if (awake) {
        // Idle for longer than the screen saver waits, yet it stays off.
        QTRY_VERIFY_WITH_TIMEOUT(saver().idle > 1500, 10000);
        QCOMPARE(saver().state, ScreenSaverOff);
    } else {
        // Nobody keeps the screen on, the engine included.
        QTRY_COMPARE(m_desktop.held(Kinds[0]), 0);
        QTRY_COMPARE_WITH_TIMEOUT(saver().state, ScreenSaverOn, 10000);
    }
}

VIEWER_TEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
