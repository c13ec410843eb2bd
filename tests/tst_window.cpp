// The window's design and its start-up.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "appinfo.h"
#include "guide/channelguide.h"
#include "modaldriver.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "webview/listpage.h"

#include <QAbstractItemView>
#include <QDesktopServices>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QWebEngineView>
#include <QtTest>

class tst_Window : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void geometry_data();
    void geometry();
    void captions();
    void hiddenControlsNeverVisible();
    void firstShownOnAboutPage();
    void focusOrder();
    void menuBar();
    void formLoad();
    void formLoadShowsWindowDuringVersionWait();
    void formLoadWithoutList();
    void versionMessages_data();
    void versionMessages();
    void engineSpeaksChinese();

private:
    ViewerFixture m_f;
};

void tst_Window::initTestCase()
{
    installChineseTranslations();
}

void tst_Window::init()
{
    QVERIFY(m_f.setUp());
}

void tst_Window::cleanup()
{
    m_f.tearDown();
}

void tst_Window::geometry_data()
{
    // Only what code places: the window's fixed size, each page as the tab
    // control lays it out, and the player, which leaves and re-enters its
    // frame for fullscreen. The rest sits where the form alone puts it.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect"); // relative to tabs unless on the window
    QTest::addColumn<bool>("onWindow");

    QTest::newRow("tabs fill the window") << "tabs" << QRect(0, 0, 433, 480) << true;
    QTest::newRow("about page") << "logo" << QRect(136, 72, 163, 116) << false;
    QTest::newRow("program page") << "playerFrame" << QRect(8, 24, 417, 313) << false;
    QTest::newRow("player in its frame") << "player" << QRect(8, -40, 417, 377) << false;
    QTest::newRow("notices page") << "noticeView" << QRect(8, 32, 417, 441) << false;
}

void tst_Window::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(bool, onWindow);

    QVERIFY(m_f.show());
    auto *w = m_f.window->findChild<QWidget *>(name);
    QVERIFY(w);
    QWidget *origin = onWindow ? m_f.window->centralWidget() : m_f.window->form()->tabs;
    QCOMPARE(QRect(w->mapTo(origin, QPoint(0, 0)), w->size()), rect);
}

void tst_Window::captions()
{
    const Ui::MainWindow *ui = m_f.window->form();
    QCOMPARE(m_f.window->windowTitle(), "栎川在线电视机");
    QCOMPARE(ui->channelFrame->title(), "电视节目表单");
    QCOMPARE(ui->infoFrame->title(), "软件信息栏");
    QVERIFY(ui->playerFrame->title().isEmpty());
    QCOMPARE(ui->watchButton->text(), "欣赏");
    QCOMPARE(ui->stopButton->text(), "停止");
    QCOMPARE(ui->nextButton->text(), "频道 +");
    QCOMPARE(ui->previousButton->text(), "频道 -");
    QCOMPARE(ui->closeButton->text(), "关闭");
    QCOMPARE(ui->feedbackLink->text(), "意见建议信息反馈");
    QVERIFY(ui->feedbackLink->font().underline());
    QCOMPARE(ui->feedbackLink->font().pointSize(), 9);
    QVERIFY(!ui->feedbackLink->font().bold());
    QCOMPARE(ui->designLabel->text(), "设计");
    QCOMPARE(ui->titleLabel->text(), "名称");
    QCOMPARE(ui->versionLabel->text(), "版本");
    QCOMPARE(ui->functionLabel->text(), "功能");
    QCOMPARE(ui->mailLabel->text(), "主页");
    QCOMPARE(ui->homePageLabel->text(), "发布");
    // The logo is shown at its natural size.
    QCOMPARE(ui->logo->pixmap().size(), QSize(163, 116));
    QVERIFY(!ui->logo->hasScaledContents());
    QCOMPARE(m_f.window->windowIcon().availableSizes().value(0), QSize(32, 32));
    QCOMPARE(ui->tabs->tabBar()->count(), 3);
    QCOMPARE(ui->tabs->tabBar()->tabText(0), "关于程序");
    QCOMPARE(ui->tabs->tabBar()->tabText(1), "程序界面");
    QCOMPARE(ui->tabs->tabBar()->tabText(2), "信息公告");
}

void tst_Window::hiddenControlsNeverVisible()
{
    m_f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_f.window));
    const Ui::MainWindow *ui = m_f.window->form();
    QWidget *client = m_f.window->centralWidget();
    QCOMPARE(client->size(), QSize(433, 480));
    // On every page, whatever is shown lies in the client area: nothing is
    // parked out of sight.
    for (int tab = 0; tab < 3; ++tab) {
        ui->tabs->setCurrentIndex(tab);
        for (QWidget *w : client->findChildren<QWidget *>()) {
            if (!w->isVisible())
                continue;
            const QRect at(w->mapTo(client, QPoint(0, 0)), w->size());
            QVERIFY2(client->rect().intersects(at),
                qPrintable(QStringLiteral("%1 (%2) on page %3")
                               .arg(w->objectName(), w->metaObject()->className())
                               .arg(tab)));
        }
    }
    // The channel list is the only list; the list page has no view at all.
    QCOMPARE(
        client->findChildren<QAbstractItemView *>(), QList<QAbstractItemView *> {ui->channelList});
    QVERIFY(!QWebEngineView::forPage(m_f.window->listPage()));
}

void tst_Window::firstShownOnAboutPage()
{
    m_f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_f.window));
    const Ui::MainWindow *ui = m_f.window->form();
    QCOMPARE(ui->tabs->currentIndex(), 0);
    QVERIFY(ui->logo->isVisible());
    QVERIFY(ui->feedbackLink->isVisible());
    QVERIFY(ui->infoFrame->isVisible());
    QVERIFY(!ui->channelList->isVisible());
    QVERIFY(!ui->player->isVisible());
    QVERIFY(!ui->watchButton->isVisible());
    QVERIFY(!ui->noticeView->isVisible());
    ui->tabs->setCurrentIndex(1);
    QVERIFY(ui->channelList->isVisible());
    QVERIFY(ui->player->isVisible());
    QVERIFY(!ui->infoFrame->isVisible());
    // The player fills its frame: its top 64 px are cut off.
    QCOMPARE(ui->player->visibleRegion().boundingRect(),
        QRect(0, 64, ui->playerFrame->width(), ui->playerFrame->height()));
    ui->tabs->setCurrentIndex(2);
    QVERIFY(ui->noticeView->isVisible());
    QVERIFY(!ui->channelList->isVisible());
}

void tst_Window::focusOrder()
{
    const Ui::MainWindow *ui = m_f.window->form();
    m_f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_f.window));
    ui->tabs->setCurrentIndex(1);
    const QList<QWidget *> expected {ui->channelList, ui->watchButton, ui->stopButton,
        ui->nextButton, ui->previousButton, ui->closeButton};
    QWidget *w = ui->channelList;
    for (int i = 1; i < expected.size(); ++i) {
        w = w->nextInFocusChain();
        while (w && (!w->isVisibleTo(m_f.window) || w->focusPolicy() == Qt::NoFocus)
            && !expected.contains(w))
            w = w->nextInFocusChain();
        QCOMPARE(w, expected[i]);
    }
}

void tst_Window::menuBar()
{
    const QList<QAction *> titles = m_f.window->menuBar()->actions();
    QCOMPARE(titles.size(), 2);
    QCOMPARE(titles[0]->text(), "菜单管理");
    QCOMPARE(titles[1]->text(), "软件帮助");
    QStringList first, second;
    for (QAction *a : titles[0]->menu()->actions())
        first << a->text();
    for (QAction *a : titles[1]->menu()->actions())
        second << a->text();
    QCOMPARE(first, (QStringList {"更新节目", "窗口置顶", "退出程序"}));
    QCOMPARE(second, (QStringList {"支持栎川", "信息公告", "故障反馈", "关于程序"}));
    for (QAction *a : titles[0]->menu()->actions() + titles[1]->menu()->actions()) {
        QVERIFY(a->shortcut().isEmpty());
        QVERIFY(!a->isSeparator() && !a->isChecked() && a->isEnabled());
        QVERIFY(!a->text().contains(u'&'));
    }
}

void tst_Window::formLoad()
{
    QList<MainWindow::Step> steps;
    QList<QByteArray> pathsAtStep;
    connect(m_f.window, &MainWindow::startupStep, this, [&](MainWindow::Step s) {
        steps << s;
        QByteArrayList paths;
        for (const auto &r : m_f.server->requests())
            paths << r.path;
        pathsAtStep << paths.join(',');
    });
    VendorServer::Response list;
    list.body = "A;http://h/a\r\nB;http://h/b\r\n";
    m_f.server->setRoute("/zavo/list.txt", list);

    QVERIFY(startAndFinish(m_f.window));
    QCOMPARE(steps,
        (QList<MainWindow::Step> {MainWindow::Step::Prepared, MainWindow::Step::ViewsStarted,
            MainWindow::Step::OfferDone, MainWindow::Step::ListRequested,
            MainWindow::Step::VersionChecked}));
    // The list download starts only after the home-page offer, and the
    // version file is asked for last.
    QVERIFY(!pathsAtStep[2].contains("/zavo/list.txt"));
    QVERIFY(!pathsAtStep[3].contains("/version/zavo.txt"));
    QVERIFY(m_f.window->isVisible());

    const Ui::MainWindow *ui = m_f.window->form();
    QCOMPARE(ui->titleLabel->text(), "名称 栎川在线电视机");
    QCOMPARE(ui->versionLabel->text(),
        QStringLiteral("版本 %1.%2.%3")
            .arg(AppInfo::Major)
            .arg(AppInfo::Minor)
            .arg(AppInfo::Revision));
    QCOMPARE(m_f.window->infoLabels()[0]->text(), "功能 免费在线观看电视.");
    QCOMPARE(m_f.window->infoLabels()[1]->text(), "设计 栎川软件工作室");
    QCOMPARE(m_f.window->infoLabels()[2]->text(), "主页 " + m_f.server->baseUrl());
    QVERIFY(m_f.window->infoLabels()[3]->text().startsWith("邮件 "));
    QVERIFY(m_f.window->infoLabels()[3]->text().contains(u'@'));
    QTRY_COMPARE(ui->noticeView->url(), QUrl(m_f.server->baseUrl() + "/msg.htm"));
    QTRY_COMPARE(ui->player->url(), QUrl(m_f.server->baseUrl() + "/zavomsg.htm"));
    QTRY_COMPARE_WITH_TIMEOUT(ui->channelFrame->title(), "电视节目表单 2", 20000);

    // Centred on the screen.
    const QRect screen = m_f.window->screen()->geometry();
    QVERIFY(qAbs(m_f.window->geometry().center().x() - screen.center().x()) < 20);
}

void tst_Window::formLoadShowsWindowDuringVersionWait()
{
    VendorServer::Response version;
    version.body = buildVersion().toUtf8();
    version.delayMs = 4000;
    m_f.server->setRoute("/version/zavo.txt", version);
    VendorServer::Response list;
    list.body = "A;http://h/a\r\n";
    m_f.server->setRoute("/zavo/list.txt", list);

    bool visibleWithListBeforeReturn = false;
    connect(m_f.window->guide(), &ChannelGuide::listLoaded, this,
        [&] { visibleWithListBeforeReturn = m_f.window->isVisible(); });
    QElapsedTimer t;
    t.start();
    QVERIFY(startAndFinish(m_f.window));
    QVERIFY(t.elapsed() >= 3500);
    QVERIFY(visibleWithListBeforeReturn);
    QCOMPARE(m_f.window->form()->channelFrame->title(), "电视节目表单 1");
}

void tst_Window::formLoadWithoutList()
{
    VendorServer::Response missing;
    missing.status = 404;
    missing.body = "A;u\r\n";
    m_f.server->setRoute("/zavo/list.txt", missing);
    QVERIFY(startAndFinish(m_f.window));
    // Shown at the end of start-up, with the design caption.
    QVERIFY(m_f.window->isVisible());
    QCOMPARE(m_f.window->form()->channelFrame->title(), "电视节目表单");
}

void tst_Window::versionMessages_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("message"); // none when empty
    QTest::addColumn<bool>("browser");

    const QString local = buildVersion();
    const QString outdated = QStringLiteral("您使用的版本已过期,建议下载最新版本。");
    const QString unstable = QStringLiteral("您所处的网络环境不稳定,无法正常体验。");
    QTest::newRow("current") << 200 << local.toUtf8() << true << QString() << false;
    QTest::newRow("line break after it")
        << 200 << (local + "\r\n").toUtf8() << true << outdated << true;
    // Equal as numbers would be wrong: the text must match.
    QTest::newRow("another version") << 200 << (local + "0").toUtf8() << true << outdated << true;
    QTest::newRow("missing file page")
        << 404 << QByteArray("<h1>404</h1>") << true << outdated << true;
    QTest::newRow("empty file") << 200 << QByteArray() << true << unstable << false;
    QTest::newRow("site unreachable") << 200 << QByteArray() << false << unstable << false;
}

void tst_Window::versionMessages()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, reachable);
    QFETCH(QString, message);
    QFETCH(bool, browser);

    auto script = std::make_shared<PromptScript>();
    delete m_f.window;
    m_f.window = newViewer(m_f.server, m_f.store, script);
    VendorServer::Response version;
    version.status = status;
    version.body = body;
    m_f.server->setRoute("/version/zavo.txt", version);
    if (!reachable)
        m_f.server->close();
    BrowserCatcher catcher;
    // What the browser had been sent while each question was open.
    QList<int> openedWhileAsked;
    script->onAsk = [&](const Question &) { openedWhileAsked << int(catcher.opened.size()); };

    QVERIFY(startAndFinish(m_f.window));
    QVERIFY(m_f.window->isVisible());
    if (message.isEmpty()) {
        QCOMPARE(script->asked.size(), 0);
    } else {
        QCOMPARE(script->texts(), QStringList {message});
        const Question q = script->asked.first();
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
    QWebEngineView *notices = m_f.window->form()->noticeView;
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

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
