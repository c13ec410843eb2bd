// The window's design and its start-up.

#include "app/mainwindow.h"
#include "appinfo.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "modaldriver.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "webview/listpage.h"

#include <QGroupBox>
#include <QAbstractItemView>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QWebEngineView>
#include <QDesktopServices>
#include <QScopeGuard>
#include <QtTest>

class tst_Window : public QObject
{
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
    VendorServer *m_server = nullptr;
    MainWindow *m_w = nullptr;
    std::shared_ptr<MemoryStartPage> m_store;
};

void tst_Window::initTestCase()
{
    installChineseTranslations();
}

void tst_Window::init()
{
    m_server = new VendorServer(this);
    serveSite(m_server);
    QVERIFY(m_server->listen());
    m_w = newViewer(m_server, m_store);
}

void tst_Window::cleanup()
{
    delete m_w;
    m_w = nullptr;
    delete m_server;
    m_server = nullptr;
}

void tst_Window::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips"); // relative to tabs unless on the window
    QTest::addColumn<bool>("onWindow");

    QTest::newRow("tabs") << "tabs" << QRect(0, 0, 6495, 7200) << true;
    QTest::newRow("logo") << "logo" << QRect(2040, 1080, 2445, 1740) << false;
    QTest::newRow("feedbackLink") << "feedbackLink" << QRect(2160, 3360, 2055, 255) << false;
    QTest::newRow("infoFrame") << "infoFrame" << QRect(120, 4440, 6255, 2535) << false;
    QTest::newRow("infoLabels(1) top row") << "designLabel" << QRect(120 + 240, 4440 + 360, 5775, 255)
                                        << false;
    QTest::newRow("infoLabels(2) bottom row")
        << "homePageLabel" << QRect(120 + 240, 4440 + 2160, 5775, 255) << false;
    QTest::newRow("playerFrame") << "playerFrame" << QRect(120, 360, 6255, 4695) << false;
    QTest::newRow("player") << "player" << QRect(120, 360 - 960, 6255, 5655) << false;
    QTest::newRow("channelFrame") << "channelFrame" << QRect(120, 5160, 6255, 1935) << false;
    QTest::newRow("channelList") << "channelList" << QRect(120 + 120, 5160 + 240, 3135, 1500) << false;
    QTest::newRow("watchButton") << "watchButton" << QRect(120 + 4320, 5160 + 360, 800, 375) << false;
    QTest::newRow("nextButton") << "nextButton" << QRect(120 + 3480, 5160 + 840, 800, 375) << false;
    QTest::newRow("closeButton") << "closeButton" << QRect(120 + 4320, 5160 + 840, 800, 375) << false;
    QTest::newRow("previousButton") << "previousButton" << QRect(120 + 5160, 5160 + 840, 800, 375) << false;
    QTest::newRow("stopButton") << "stopButton" << QRect(120 + 4320, 5160 + 1320, 800, 375) << false;
    QTest::newRow("noticeView") << "noticeView" << QRect(120, 480, 6255, 6615) << false;
}

void tst_Window::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(bool, onWindow);

    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    auto *w = m_w->findChild<QWidget *>(name);
    QVERIFY(w);
    QWidget *origin = onWindow ? m_w->centralWidget() : m_w->form()->tabs;
    const QPoint at = w->mapTo(origin, QPoint(0, 0));
    QCOMPARE(QRect(at, w->size()),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
}

void tst_Window::captions()
{
    const Ui::MainWindow *ui = m_w->form();
    QCOMPARE(m_w->windowTitle(), "栎川在线电视机");
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
    QCOMPARE(m_w->windowIcon().availableSizes().value(0), QSize(32, 32));
    QCOMPARE(ui->tabs->tabBar()->count(), 3);
    QCOMPARE(ui->tabs->tabBar()->tabText(0), "关于程序");
    QCOMPARE(ui->tabs->tabBar()->tabText(1), "程序界面");
    QCOMPARE(ui->tabs->tabBar()->tabText(2), "信息公告");
}

void tst_Window::hiddenControlsNeverVisible()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    const Ui::MainWindow *ui = m_w->form();
    QWidget *client = m_w->centralWidget();
    QCOMPARE(client->size(), QSize(433, 480));
    // On every page, whatever is shown lies in the client area: nothing is
    // parked out of sight.
    for (int tab = 0; tab < 3; ++tab) {
        ui->tabs->setTab(tab);
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
    QCOMPARE(client->findChildren<QAbstractItemView *>(),
             QList<QAbstractItemView *>{ui->channelList});
    QVERIFY(!QWebEngineView::forPage(m_w->listPage()));
}

void tst_Window::firstShownOnAboutPage()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    const Ui::MainWindow *ui = m_w->form();
    QCOMPARE(ui->tabs->Tab(), 0);
    QVERIFY(ui->logo->isVisible());
    QVERIFY(ui->feedbackLink->isVisible());
    QVERIFY(ui->infoFrame->isVisible());
    QVERIFY(!ui->channelList->isVisible());
    QVERIFY(!ui->player->isVisible());
    QVERIFY(!ui->watchButton->isVisible());
    QVERIFY(!ui->noticeView->isVisible());
    ui->tabs->setTab(1);
    QVERIFY(ui->channelList->isVisible());
    QVERIFY(ui->player->isVisible());
    QVERIFY(!ui->infoFrame->isVisible());
    // The player fills its frame: its top 64 px are cut off.
    QCOMPARE(ui->player->visibleRegion().boundingRect(),
             QRect(0, 64, ui->playerFrame->width(), ui->playerFrame->height()));
    ui->tabs->setTab(2);
    QVERIFY(ui->noticeView->isVisible());
    QVERIFY(!ui->channelList->isVisible());
}

void tst_Window::focusOrder()
{
    const Ui::MainWindow *ui = m_w->form();
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    ui->tabs->setTab(1);
    const QList<QWidget *> expected{ui->channelList, ui->watchButton, ui->stopButton,
                                    ui->nextButton, ui->previousButton, ui->closeButton};
    QWidget *w = ui->channelList;
    for (int i = 1; i < expected.size(); ++i) {
        w = w->nextInFocusChain();
        while (w && (!w->isVisibleTo(m_w) || w->focusPolicy() == Qt::NoFocus)
               && !expected.contains(w))
            w = w->nextInFocusChain();
        QCOMPARE(w, expected[i]);
    }
}

void tst_Window::menuBar()
{
    const QList<QAction *> titles = m_w->menuBar()->actions();
    QCOMPARE(titles.size(), 2);
    QCOMPARE(titles[0]->text(), "菜单管理");
    QCOMPARE(titles[1]->text(), "软件帮助");
    QStringList first, second;
    for (QAction *a : titles[0]->menu()->actions())
        first << a->text();
    for (QAction *a : titles[1]->menu()->actions())
        second << a->text();
    QCOMPARE(first, (QStringList{"更新节目", "窗口置顶", "退出程序"}));
    QCOMPARE(second, (QStringList{"支持栎川", "信息公告", "故障反馈", "关于程序"}));
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
    connect(m_w, &MainWindow::startupStep, this, [&](MainWindow::Step s) {
        steps << s;
        QByteArrayList paths;
        for (const auto &r : m_server->requests())
            paths << r.path;
        pathsAtStep << paths.join(',');
    });
    VendorServer::Response list;
    list.body = "A;http://h/a\r\nB;http://h/b\r\n";
    m_server->setRoute("/zavo/list.txt", list);

    QVERIFY(startAndFinish(m_w));
    QCOMPARE(steps, (QList<MainWindow::Step>{MainWindow::Step::Prepared, MainWindow::Step::ViewsStarted,
                                          MainWindow::Step::OfferDone, MainWindow::Step::ListRequested,
                                          MainWindow::Step::VersionChecked}));
    // The list download starts only after the home-page offer, and the
    // version file is asked for last.
    QVERIFY(!pathsAtStep[2].contains("/zavo/list.txt"));
    QVERIFY(!pathsAtStep[3].contains("/version/zavo.txt"));
    QVERIFY(m_w->isVisible());

    const Ui::MainWindow *ui = m_w->form();
    QCOMPARE(ui->titleLabel->text(), "名称 栎川在线电视机");
    QCOMPARE(ui->versionLabel->text(), "版本 1.1.0");
    QCOMPARE(m_w->infoLabels()[0]->text(), "功能 免费在线观看电视.");
    QCOMPARE(m_w->infoLabels()[1]->text(), "设计 栎川软件工作室");
    QCOMPARE(m_w->infoLabels()[2]->text(), "主页 " + m_server->baseUrl());
    QVERIFY(m_w->infoLabels()[3]->text().startsWith("邮件 "));
    QVERIFY(m_w->infoLabels()[3]->text().contains(u'@'));
    QTRY_COMPARE(ui->noticeView->url(), QUrl(m_server->baseUrl() + "/msg.htm"));
    QTRY_COMPARE(ui->player->url(), QUrl(m_server->baseUrl() + "/zavomsg.htm"));
    QTRY_COMPARE_WITH_TIMEOUT(ui->channelFrame->title(), "电视节目表单 2", 20000);

    // Centred on the screen.
    const QRect screen = m_w->screen()->geometry();
    QVERIFY(qAbs(m_w->geometry().center().x() - screen.center().x()) < 20);
}

void tst_Window::formLoadShowsWindowDuringVersionWait()
{
    VendorServer::Response version;
    version.body = "1.1";
    version.delayMs = 4000;
    m_server->setRoute("/version/zavo.txt", version);
    VendorServer::Response list;
    list.body = "A;http://h/a\r\n";
    m_server->setRoute("/zavo/list.txt", list);

    bool visibleWithListBeforeReturn = false;
    connect(m_w->guide(), &ChannelGuide::listLoaded, this,
            [&] { visibleWithListBeforeReturn = m_w->isVisible(); });
    QElapsedTimer t;
    t.start();
    QVERIFY(startAndFinish(m_w));
    QVERIFY(t.elapsed() >= 3500);
    QVERIFY(visibleWithListBeforeReturn);
    QCOMPARE(m_w->form()->channelFrame->title(), "电视节目表单 1");
}

void tst_Window::formLoadWithoutList()
{
    VendorServer::Response missing;
    missing.status = 404;
    missing.body = "A;u\r\n";
    m_server->setRoute("/zavo/list.txt", missing);
    QVERIFY(startAndFinish(m_w));
    // Shown at the end of start-up, with the design caption.
    QVERIFY(m_w->isVisible());
    QCOMPARE(m_w->form()->channelFrame->title(), "电视节目表单");
}

void tst_Window::versionMessages_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("message"); // none when empty
    QTest::addColumn<bool>("browser");

    const QString local = QStringLiteral("%1.%2").arg(AppInfo::Major).arg(AppInfo::Minor);
    const QString outdated = QStringLiteral("您使用的版本已过期,建议下载最新版本。");
    const QString unstable = QStringLiteral("您所处的网络环境不稳定,无法正常体验。");
    QTest::newRow("current") << 200 << local.toUtf8() << true << QString() << false;
    QTest::newRow("line break after it") << 200 << (local + "\r\n").toUtf8() << true << outdated
                                         << true;
    QTest::newRow("another version") << 200 << QByteArray("1.10") << true << outdated << true;
    QTest::newRow("missing file page") << 404 << QByteArray("<h1>404</h1>") << true << outdated
                                       << true;
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
    delete m_w;
    m_w = newViewer(m_server, m_store, script);
    VendorServer::Response version;
    version.status = status;
    version.body = body;
    m_server->setRoute("/version/zavo.txt", version);
    if (!reachable)
        m_server->close();
    BrowserCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler("http"); });
    // What the browser had been sent while each question was open.
    QList<int> openedWhileAsked;
    script->onAsk = [&](const Question &) { openedWhileAsked << int(catcher.opened.size()); };

    QVERIFY(startAndFinish(m_w));
    QVERIFY(m_w->isVisible());
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
             browser ? QStringList {QUrl(m_server->baseUrl()).toString()} : QStringList());
}

// The engine's own texts: the notice view's context menu and its error pages.
void tst_Window::engineSpeaksChinese()
{
    QWebEngineView *notices = m_w->form()->noticeView;
    QCOMPARE(notices->page()->action(QWebEnginePage::Back)->text(), QStringLiteral("后退"));
    QCOMPARE(notices->page()->action(QWebEnginePage::Reload)->text(), QStringLiteral("重新加载"));

    m_server->close();
    const QUrl gone(m_server->baseUrl() + "/msg.htm");
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
