// The windowing platform the viewer runs on: XWayland wherever the session
// has both a Wayland and an X display, the native choice otherwise. Checked
// as a rule, and in a second process against the test's Xvfb and a headless
// Weston compositor with Xwayland.

#include "desktop/platformchoice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using PlatformChoice::Session;

Q_DECLARE_METATYPE(Session)

class tst_Platform : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void forcedPlatform_data();
    void forcedPlatform();
    void sessionFromEnvironment();
    void startsOn_data();
    void startsOn();

private:
    QString m_xvfbDisplay;
    std::unique_ptr<QTemporaryDir> m_westonDir;
    QProcess *m_weston = nullptr;
    QString m_westonSocket;
    QString m_xwaylandDisplay;
};

namespace {

Session session(const char *platform, const char *wayland, const char *type, const char *x11)
{
    return Session {QString::fromLatin1(platform), QString::fromLatin1(wayland),
        QString::fromLatin1(type), QString::fromLatin1(x11)};
}

const char *const Variables[]
    = {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "DISPLAY"};

} // namespace

void tst_Platform::initTestCase()
{
    m_xvfbDisplay = qEnvironmentVariable("DISPLAY");
    QVERIFY2(!m_xvfbDisplay.isEmpty(), "runs under tests/xrun.sh");

    // A headless compositor with Xwayland, as a Wayland desktop has it.
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    QVERIFY2(!weston.isEmpty(), "weston is installed by scripts/setup.sh");
    m_westonDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_westonDir->isValid());
    m_westonSocket = QStringLiteral("wayland-tst-%1").arg(QCoreApplication::applicationPid());
    const QString log = m_westonDir->filePath(QStringLiteral("weston.log"));
    m_weston = new QProcess(this);
    // Its own log tells what went wrong; Xwayland's chatter is not wanted.
    m_weston->setStandardOutputFile(QProcess::nullDevice());
    m_weston->setStandardErrorFile(QProcess::nullDevice());
    m_weston->start(weston,
        {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--xwayland"),
            QStringLiteral("--socket=") + m_westonSocket, QStringLiteral("--log=") + log,
            QStringLiteral("--idle-time=0")});
    QVERIFY(m_weston->waitForStarted());
    // Weston names the X display it serves in its log.
    const QRegularExpression listening(QStringLiteral("xserver listening on display (:\\d+)"));
    const QString socket = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(m_westonSocket);
    QString said;
    const bool up = QTest::qWaitFor(
        [&] {
            QFile f(log);
            if (f.open(QIODevice::ReadOnly))
                said = QString::fromUtf8(f.readAll());
            m_xwaylandDisplay = listening.match(said).captured(1);
            return !m_xwaylandDisplay.isEmpty() && QFile::exists(socket);
        },
        15000);
    QVERIFY2(up, qPrintable(said));
}

void tst_Platform::cleanupTestCase()
{
    if (m_weston) {
        m_weston->terminate();
        if (!m_weston->waitForFinished(5000))
            m_weston->kill();
        m_weston->waitForFinished(5000);
    }
}

void tst_Platform::forcedPlatform_data()
{
    QTest::addColumn<Session>("session");
    QTest::addColumn<QString>("forced");

    const QString none;
    const QString xcb = QStringLiteral("xcb");
    // Both displays: through XWayland.
    QTest::newRow("wayland display and X") << session("", "wayland-0", "", ":0") << xcb;
    QTest::newRow("wayland session and X") << session("", "", "wayland", ":0") << xcb;
    QTest::newRow("wayland display, session and X")
        << session("", "wayland-0", "wayland", ":1") << xcb;
    QTest::newRow("wayland display in an x11 session")
        << session("", "wayland-1", "x11", ":0") << xcb;
    // No X display: the native platform, as Qt picks it.
    QTest::newRow("wayland display only") << session("", "wayland-0", "", "") << none;
    QTest::newRow("wayland session only") << session("", "", "wayland", "") << none;
    QTest::newRow("both wayland, no X") << session("", "wayland-0", "wayland", "") << none;
    // No Wayland: nothing to change.
    QTest::newRow("X only") << session("", "", "", ":0") << none;
    QTest::newRow("x11 session") << session("", "", "x11", ":0") << none;
    QTest::newRow("tty session with X") << session("", "", "tty", ":0") << none;
    QTest::newRow("session type is exact") << session("", "", "Wayland", ":0") << none;
    QTest::newRow("nothing") << session("", "", "", "") << none;
    // The user's own choice stands.
    QTest::newRow("user chose wayland") << session("wayland", "wayland-0", "wayland", ":0") << none;
    QTest::newRow("user chose offscreen") << session("offscreen", "wayland-0", "", ":0") << none;
    QTest::newRow("user chose a list") << session("wayland;xcb", "", "wayland", ":0") << none;
}

void tst_Platform::forcedPlatform()
{
    QFETCH(Session, session);
    QFETCH(QString, forced);
    QCOMPARE(PlatformChoice::forcedPlatform(session), forced);
}

void tst_Platform::sessionFromEnvironment()
{
    QHash<QByteArray, QByteArray> saved;
    for (const char *v : Variables)
        saved.insert(v, qgetenv(v));
    qputenv("QT_QPA_PLATFORM", "minimal");
    qputenv("WAYLAND_DISPLAY", "wayland-7");
    qputenv("XDG_SESSION_TYPE", "wayland");
    qunsetenv("DISPLAY");
    const Session s = PlatformChoice::currentSession();
    for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
        if (it.value().isNull())
            qunsetenv(it.key().constData());
        else
            qputenv(it.key().constData(), it.value());
    }
    QCOMPARE(s.qpaPlatform, QStringLiteral("minimal"));
    QCOMPARE(s.waylandDisplay, QStringLiteral("wayland-7"));
    QCOMPARE(s.sessionType, QStringLiteral("wayland"));
    QCOMPARE(s.x11Display, QString());
}

void tst_Platform::startsOn_data()
{
    // Placeholders: "xvfb" is the test's X display, "weston" the compositor's
    // Wayland socket, "xwayland" its X display.
    QTest::addColumn<Session>("session");
    QTest::addColumn<QString>("platform");

    QTest::newRow("wayland by name, Xvfb") << session("", "wayland-absent", "", "xvfb") << "xcb";
    QTest::newRow("wayland session, Xvfb") << session("", "", "wayland", "xvfb") << "xcb";
    QTest::newRow("user's choice kept")
        << session("offscreen", "wayland-absent", "wayland", "xvfb") << "offscreen";
    QTest::newRow("weston with Xwayland") << session("", "weston", "wayland", "xwayland") << "xcb";
    QTest::newRow("weston without X") << session("", "weston", "wayland", "") << "wayland";
}

void tst_Platform::startsOn()
{
    QFETCH(Session, session);
    QFETCH(QString, platform);

    const auto resolve = [this](const QString &v) {
        if (v == QLatin1String("xvfb"))
            return m_xvfbDisplay;
        if (v == QLatin1String("weston"))
            return m_westonSocket;
        if (v == QLatin1String("xwayland"))
            return m_xwaylandDisplay;
        return v;
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString values[] = {session.qpaPlatform, resolve(session.waylandDisplay),
        session.sessionType, resolve(session.x11Display)};
    for (int i = 0; i < 4; ++i) {
        env.remove(QString::fromLatin1(Variables[i]));
        if (!values[i].isEmpty())
            env.insert(QString::fromLatin1(Variables[i]), values[i]);
    }
    // The web engine announces itself at info level on every start.
    env.insert(QStringLiteral("QT_LOGGING_RULES"),
        QStringLiteral("default.info=false;qt.webenginecontext.info=false"));
    QProcess helper;
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral(START_HELPER), {QStringLiteral("platform")});
    QVERIFY(helper.waitForFinished(30000));
    const QString err = QString::fromLocal8Bit(helper.readAllStandardError());
    QVERIFY2(
        helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0, qPrintable(err));
    QCOMPARE(QString::fromLatin1(helper.readAllStandardOutput()).trimmed(),
        platform + QStringLiteral(" exposed"));
    // The choice itself is silent; the native run says nothing at all.
    if (platform == QLatin1String("wayland"))
        QVERIFY2(err.isEmpty(), qPrintable(err));
}

QTEST_GUILESS_MAIN(tst_Platform)
#include "tst_platform.moc"
