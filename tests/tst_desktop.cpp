// The viewer as one of the desktop's media players, end to end on a private
// session bus whose desktop side (inhibitors that record who holds them, a
// media widget) has a connection of its own; the X server's screen saver read
// through its extension; media keys from xdotool. One journey, a step a row.

#include "app/mainwindow.h"
#include "guide/channelmodel.h"
#include "testsupport.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include <QtDBus>
#include <QtTest>
#include <qguiapplication_platform.h>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

using namespace X11Probe;

namespace {
const QString Mpris = QStringLiteral("org.mpris.MediaPlayer2.lichuantv");
const QString MprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString Root = QStringLiteral("org.mpris.MediaPlayer2");
const QString Player = QStringLiteral("org.mpris.MediaPlayer2.Player");
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

// The desktop's side of the bus, on its own connection: the inhibitors under
// /org/freedesktop, and what a media widget hears and asks.
class FakeDesktop : public QDBusVirtualObject {
    Q_OBJECT
public:
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
    QMap<QString, QStringList> holds; // token: interface, holder
    QVariantMap told; // what PropertiesChanged has said of the player, merged
    QStringList toldTitles;

    bool start()
    {
        for (const char *name : {"ScreenSaver", "PowerManagement", "portal.Desktop"})
            bus.registerService(QStringLiteral("org.freedesktop.") + name);
        return bus.registerVirtualObject("/org/freedesktop", this, QDBusConnection::SubPath)
            && bus.connect(Mpris, MprisPath, Properties, "PropertiesChanged", this,
                SLOT(changed(QString, QVariantMap, QStringList)));
    }
    int held(const QString &kind, const QString &holder = {}) const
    {
        int n = 0;
        for (const QStringList &h : holds)
            n += h[0] == kind && (holder.isEmpty() || h[1] == holder);
        return n;
    }
    // As a media widget calls the player, waiting for the answer.
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(Mpris, MprisPath, interface, method);
        m.setArguments(args);
        QDBusPendingCall pending = bus.asyncCall(m);
        (void)QTest::qWaitFor([&] { return pending.isFinished(); }, 10000);
        return pending.reply();
    }
    QVariant property(const QString &name, const QString &interface = Player)
    {
        return plain(call(Properties, "Get", {interface, name}).arguments().value(0));
    }
    // Inhibit gives a cookie, or for the portal a request; UnInhibit and the
    // request's Close hand it back.
    bool handleMessage(const QDBusMessage &m, const QDBusConnection &connection) override
    {
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/h");
        if (m.member() == "Inhibit") {
            holds[QString::number(++m_tokens)] = QStringList {m.interface(), m.service()};
            connection.send(m.createReply(m.interface() != Kinds[2]
                    ? QVariant(m_tokens)
                    : QVariant::fromValue(QDBusObjectPath(request + QString::number(m_tokens)))));
        } else if (m.member() == "UnInhibit" || m.member() == "Close") {
            const QString token = m.member() == "Close" ? m.path().mid(request.size())
                                                        : m.arguments().value(0).toString();
            if (holds.value(token).value(1) == m.service())
                holds.remove(token);
            connection.send(m.createReply());
        }
        return m.member().contains("Inhibit") || m.member() == "Close";
    }
    QString introspect(const QString &) const override { return {}; }

public slots:
    void changed(const QString &, const QVariantMap &props, const QStringList &)
    {
        for (auto it = props.begin(); it != props.end(); ++it)
            told[it.key()] = plain(it.value());
        toldTitles << told.value("Metadata").toMap().value("xesam:title").toString();
    }

private:
    uint m_tokens = 0;
};

class tst_Desktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void journey_data();
    void journey();

private:
    XScreenSaverInfo saver() const
    {
        XScreenSaverInfo info {};
        XScreenSaverQueryInfo(m_display, DefaultRootWindow(m_display), &info);
        return info;
    }

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
    const QVariantList shown {m_desktop.property("Identity", Root),
        m_desktop.property("DesktopEntry", Root), m_desktop.property("CanRaise", Root),
        m_desktop.property("CanQuit", Root), m_desktop.property("CanPause")};
    QCOMPARE(shown, (QVariantList {"栎川在线电视机", "lichuantv", true, false, false}));
}

void tst_Desktop::journey_data()
{
    QTest::addColumn<int>("select"); // the row selected first; -1: none
    QTest::addColumn<QString>("action"); // an MPRIS call, "key <keysym>" or "tray"
    QTest::addColumn<bool>("playing");
    QTest::addColumn<QString>("told"); // a title the desktop is told of on the way
    QTest::addColumn<bool>("awake"); // held, and the X screen saver suspended

    QTest::newRow("before anything plays") << -1 << "" << false << "" << false;
    QTest::newRow("Play plays the selected") << 0 << "Play" << true << "栎川一台" << true;
    QTest::newRow("Next plays the next") << -1 << "Next" << true << "测试彩条" << true;
    QTest::newRow("the next-track key") << -1 << "key XF86AudioNext" << true << "新闻频道" << true;
    QTest::newRow("to the tray: the screen may sleep") << -1 << "tray" << true << "" << false;
    QTest::newRow("Raise, out of the tray") << -1 << "Raise" << true << "" << true;
    QTest::newRow("PlayPause stops") << -1 << "PlayPause" << false << "" << false;
    QTest::newRow("the play key") << -1 << "key XF86AudioPlay" << true << "新闻频道" << true;
    QTest::newRow("Stop") << -1 << "Stop" << false << "" << false;
    QTest::newRow("a live stream") << 12 << "Play" << true << "直播一台" << true;
    QTest::newRow("the stop key") << -1 << "key XF86AudioStop" << false << "" << false;
    QTest::newRow("a channel that ends (无法播放此频道)")
        << 18 << "Play" << false << "高清H.265" << false;
}

void tst_Desktop::journey()
{
    QFETCH(int, select);
    QFETCH(QString, action);
    QFETCH(bool, playing);
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
        QCOMPARE(m_desktop.call(action == "Raise" ? Root : Player, action, {}).type(),
            QDBusMessage::ReplyMessage);

    // Desktop widgets follow what they are told, and what they ask.
    if (!told.isEmpty())
        QTRY_VERIFY2(
            m_desktop.toldTitles.contains(told), qPrintable(m_desktop.toldTitles.join(',')));
    const QString status = playing ? "Playing" : "Stopped";
    QTRY_COMPARE(m_desktop.told.value("PlaybackStatus", "Stopped").toString(), status);
    QCOMPARE(m_desktop.property("PlaybackStatus").toString(), status);
    const QString title = playing ? m_f.guide()->model()->entry(m_f.selectedRow()).name : "";
    QCOMPARE(m_desktop.property("Metadata").toMap().value("xesam:title").toString(), title);
    QCOMPARE(m_desktop.told.value("Metadata").toMap().value("xesam:title").toString(), title);
    QVERIFY(m_desktop.property("CanGoNext").toBool());
    // The only player of this process.
    const QStringList names = m_desktop.bus.interface()->registeredServiceNames().value();
    QCOMPARE(names.filter(Root + "."), QStringList {Mpris});
    if (action == "Raise") {
        QTRY_VERIFY(m_f.window->isVisible() && viewable(m_f.xid()));
        QTRY_VERIFY(m_f.window->isActiveWindow());
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
