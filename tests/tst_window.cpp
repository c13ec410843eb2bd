// The window's start-up as the user meets it: when it shows, where, and
// what it says.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "appinfo.h"
#include "guide/channelguide.h"
#include "testsupport.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QWebEngineView>
#include <QtTest>

using Step = MainWindow::Step;

class tst_Window : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startup_data();
    void startup();
    void focusOrder();
    void keysPressButtons_data();
    void keysPressButtons();
    void versionMessages_data();
    void versionMessages();
    void engineSpeaksChinese();
    void placedOnScreen_data();
    void placedOnScreen();

private:
    QString channelCaption() const { return m_f.part<QGroupBox>("channelFrame")->title(); }

    ViewerFixture m_f;
};

void tst_Window::init()
{
    QVERIFY(m_f.setUp());
}

void tst_Window::cleanup()
{
    m_f.tearDown();
}

void tst_Window::startup_data()
{
    QTest::addColumn<QByteArray>("list"); // the list file; a 404 page when empty
    QTest::addColumn<bool>("shownByList"); // before the version check has answered
    QTest::addColumn<QString>("caption");

    QTest::newRow("list before the version's answer")
        << QByteArray("A;http://h/a\r\nB;http://h/b\r\n") << true << "电视节目表单 2";
    QTest::newRow("no list") << QByteArray() << false << "电视节目表单";
}

void tst_Window::startup()
{
    QFETCH(QByteArray, list);
    QFETCH(bool, shownByList);
    QFETCH(QString, caption);

    const VendorSite site(m_f.server->baseUrl());
    VendorServer::Response listFile;
    listFile.body = list;
    if (list.isEmpty()) {
        listFile.status = 404;
        listFile.body = "A;u\r\n";
    }
    m_f.server->setRoute("/zavo/list.txt", listFile);
    if (shownByList) {
        VendorServer::Response version;
        version.neverAnswer = true;
        m_f.server->setRoute("/version/zavo.txt", version);
    }
    QList<Step> steps;
    QList<QByteArray> pathsAtStep;
    QEventLoop loop;
    connect(m_f.window, &MainWindow::startupStep, &loop, [&](Step s) {
        steps << s;
        QByteArrayList paths;
        for (const auto &r : m_f.server->requests())
            paths << r.path;
        pathsAtStep << paths.join(',');
        if (s == Step::VersionChecked)
            loop.quit();
    });
    connect(m_f.guide(), &ChannelGuide::listLoaded, &loop, &QEventLoop::quit);
    QList<QUrl> listLoads;
    connect(m_f.listPage(), &QWebEnginePage::loadFinished, &loop,
        [&] { listLoads << m_f.listPage()->url(); });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    // In a real event loop, as the program runs: the engine starves in
    // QTest's sleeping waits.
    m_f.window->start();
    loop.exec();

    QVERIFY(m_f.window->isVisible());
    QCOMPARE(steps.contains(Step::VersionChecked), !shownByList);
    QCOMPARE(steps.mid(0, 4),
        (QList<Step> {Step::Prepared, Step::ViewsStarted, Step::OfferDone, Step::ListRequested}));
    // The list download starts only after the home-page offer, and the
    // version file is asked for last.
    QVERIFY(!pathsAtStep[2].contains("/zavo/list.txt"));
    QVERIFY(!pathsAtStep[3].contains("/version/zavo.txt"));

    // The list has come in or failed; any read of it still under way is
    // answered before this one.
    QTRY_VERIFY_WITH_TIMEOUT(listLoads.contains(QUrl(site.channelList())), 20000);
    plainTextOf(m_f.listPage());
    QCOMPARE(channelCaption(), caption);

    // First the about page, with what the program says about itself.
    QStringList info;
    for (const char *name :
        {"designLabel", "titleLabel", "versionLabel", "functionLabel", "homePageLabel"}) {
        QVERIFY(m_f.part<QLabel>(name)->isVisible());
        info << m_f.part<QLabel>(name)->text();
    }
    QCOMPARE(info,
        (QStringList {"设计 栎川软件工作室", "名称 栎川在线电视机",
            QStringLiteral("版本 %1.%2.%3")
                .arg(AppInfo::Major)
                .arg(AppInfo::Minor)
                .arg(AppInfo::Revision),
            "功能 免费在线观看电视.", "主页 " + site.home()}));
    QVERIFY(m_f.part<QLabel>("mailLabel")->text().contains(QRegularExpression("^邮件 \\S+@\\S+$")));
    QVERIFY(!m_f.channelList()->isVisible());
    QTRY_COMPARE(m_f.part<QWebEngineView>("noticeView")->url(), QUrl(site.notices()));
    QTRY_COMPARE(m_f.player()->url(), QUrl(site.stopPage()));

    // Centred on the whole screen, not on the work area the taskbar leaves,
    // frame and title bar included, as Qt and the window manager see it.
    QVERIFY(QTest::qWaitForWindowExposed(m_f.window));
    const QRect screen = m_f.window->screen()->geometry();
    auto centred = [&screen](const QRect &r) {
        return qAbs(r.x() + r.width() / 2.0 - (screen.x() + screen.width() / 2.0)) <= 1.0
            && qAbs(r.y() + r.height() / 2.0 - (screen.y() + screen.height() / 2.0)) <= 1.0;
    };
    QTRY_VERIFY(centred(X11Probe::outerRect(m_f.xid())));
    QTRY_COMPARE(m_f.window->frameGeometry(), X11Probe::outerRect(m_f.xid()));
    QVERIFY(m_f.window->frameGeometry().height() > m_f.window->height());
}

void tst_Window::focusOrder()
{
    QVERIFY(m_f.show());
    m_f.part<TabControl>("tabs")->setCurrentIndex(1);
    m_f.channelList()->setFocus();
    QStringList order {m_f.window->focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(m_f.window->focusWidget(), Qt::Key_Tab);
        order << m_f.window->focusWidget()->objectName();
    }
    QCOMPARE(order,
        (QStringList {"channelList", "watchButton", "stopButton", "nextButton", "previousButton",
            "closeButton"}));
}

void tst_Window::keysPressButtons_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

// As on the desktop the program comes from: the focused button takes Enter.
void tst_Window::keysPressButtons()
{
    QFETCH(int, key);
    QVERIFY(m_f.show());
    m_f.part<TabControl>("tabs")->setCurrentIndex(1);
    // 关闭 asks first; the answer keeps the program running.
    m_f.prompts->answers = QList<Answer>(8, Answer::Cancel);
    const QList<QPushButton *> buttons = m_f.window->findChildren<QPushButton *>();
    QVERIFY(!buttons.isEmpty());
    for (QPushButton *button : buttons) {
        QSignalSpy clicked(button, &QPushButton::clicked);
        button->setFocus();
        QTest::keyClick(button, Qt::Key(key));
        QVERIFY2(clicked.size() == 1, qPrintable(button->objectName()));
    }
}

void tst_Window::versionMessages_data()
{
    QTest::addColumn<QByteArray>("version"); // the version file; none ever comes when null
    QTest::addColumn<QString>("message"); // none when empty
    QTest::addColumn<bool>("browser");

    const QByteArray local = buildVersion().toUtf8();
    QTest::newRow("current") << local << QString() << false;
    QTest::newRow("another version")
        << local + "0" << QStringLiteral("您使用的版本已过期,建议下载最新版本。") << true;
    QTest::newRow("no answer within the wait")
        << QByteArray() << QStringLiteral("您所处的网络环境不稳定,无法正常体验。") << false;
}

void tst_Window::versionMessages()
{
    QFETCH(QByteArray, version);
    QFETCH(QString, message);
    QFETCH(bool, browser);

    QVERIFY(m_f.setUp(0, true, [&version](ViewerOptions &o) {
        if (version.isNull())
            o.versionWait = std::chrono::milliseconds(500);
    }));
    VendorServer::Response file;
    file.body = version;
    file.neverAnswer = version.isNull();
    m_f.server->setRoute("/version/zavo.txt", file);
    BrowserCatcher catcher;
    // What the browser had been sent while each question was open.
    QList<int> openedWhileAsked;
    m_f.prompts->onAsk = [&](const Question &) { openedWhileAsked << int(catcher.opened.size()); };

    QVERIFY(startAndFinish(m_f.window));
    QVERIFY(m_f.window->isVisible());
    if (message.isEmpty()) {
        QCOMPARE(m_f.prompts->asked.size(), 0);
    } else {
        QCOMPARE(m_f.prompts->texts(), QStringList {message});
        const Question q = m_f.prompts->asked.first();
        QCOMPARE(q.title, "提示");
        QCOMPARE(q.buttons, Question::Buttons::Ok);
        QVERIFY(q.questionIcon);
        QCOMPARE(openedWhileAsked, QList<int> {0});
    }
    // The site's root, only once the message is closed.
    QCOMPARE(catcher.opened,
        browser ? QStringList {QUrl(m_f.server->baseUrl()).toString()} : QStringList());
}

// The engine's own texts: the notice view's context menu and its error pages.
void tst_Window::engineSpeaksChinese()
{
    auto *notices = m_f.part<QWebEngineView>("noticeView");
    QCOMPARE(notices->page()->action(QWebEnginePage::Back)->text(), QStringLiteral("后退"));
    QCOMPARE(notices->page()->action(QWebEnginePage::Reload)->text(), QStringLiteral("重新加载"));

    m_f.server->close();
    const QUrl gone(m_f.server->baseUrl() + "/msg.htm");
    notices->load(gone);
    QVERIFY(!waitForLoad(notices->page(), gone));
    // The error page is asked for its text until it has some; late answers
    // land in the shared string, never on this stack frame.
    auto text = std::make_shared<QString>();
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            notices->page()->toPlainText([text](const QString &t) { *text = t; });
            return !text->isEmpty();
        }(),
        10000);
    QVERIFY2(text->contains(QStringLiteral("无法访问")), qPrintable(*text));
}

void tst_Window::placedOnScreen_data()
{
    QTest::addColumn<QStringList>("screen"); // XRUN_SCREEN, QT_SCALE_FACTOR
    // Taller than the screen: the window manager keeps it where it was first mapped.
    QTest::newRow("200 % on 1280x1024") << QStringList {"1280x1024", "2"};
    QTest::newRow("150 % on 1366x768") << QStringList {"1366x768", "1.5"};
}

// The title bar on the screen in every start, measured in the real window
// under the window manager, each start on an X screen of its own.
void tst_Window::placedOnScreen()
{
    QFETCH(QStringList, screen);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XRUN_SCREEN", screen[0]);
    env.insert("QT_SCALE_FACTOR", screen[1]);
    for (int start = 0; start < 2; ++start) {
        QProcess viewer;
        viewer.setProcessEnvironment(env);
        viewer.start(TESTS_DIR "/xrun.sh", {START_HELPER, "place", m_f.server->baseUrl()});
        // The fixture's server answers meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(viewer.state() == QProcess::NotRunning, 60000);
        const QString said = QString::fromLatin1(viewer.readAllStandardOutput()).trimmed();
        const QStringList f = said.split(' '); // "frame X Y W H"
        QVERIFY2(f.size() == 5 && f[1].toInt() >= 0 && f[2].toInt() >= 0
                && f[1].toInt() + f[3].toInt() <= screen[0].section('x', 0, 0).toInt(),
            qPrintable(said));
    }
}

VIEWER_TEST_MAIN(tst_Window)
#include "tst_window.moc"
