// The window's design and its start-up.

#include "app/frmhome.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "modaldriver.h"
#include "testsupport.h"
#include "ui_frmhome.h"
#include "vendorserver.h"
#include "webview/listpage.h"

#include <QGroupBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QWebEngineView>
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
    void engineSpeaksChinese();

private:
    VendorServer *m_server = nullptr;
    frmhome *m_w = nullptr;
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
    QTest::addColumn<QRect>("twips"); // relative to SSTab1 unless on the window
    QTest::addColumn<bool>("onWindow");

    QTest::newRow("SSTab1") << "SSTab1" << QRect(0, 0, 6495, 7200) << true;
    QTest::newRow("lsttvurl") << "lsttvurl" << QRect(7080, 120, 4335, 1320) << true;
    QTest::newRow("Image1") << "Image1" << QRect(2040, 1080, 2445, 1740) << false;
    QTest::newRow("lblfeedback") << "lblfeedback" << QRect(2160, 3360, 2055, 255) << false;
    QTest::newRow("Frame4") << "Frame4" << QRect(120, 4440, 6255, 2535) << false;
    QTest::newRow("lblmsg1(1) top row") << "lblmsg1_1" << QRect(120 + 240, 4440 + 360, 5775, 255)
                                        << false;
    QTest::newRow("lblmsg1(2) bottom row")
        << "lblmsg1_2" << QRect(120 + 240, 4440 + 2160, 5775, 255) << false;
    QTest::newRow("Frame1") << "Frame1" << QRect(120, 360, 6255, 4695) << false;
    QTest::newRow("WebBrowsertv") << "WebBrowsertv" << QRect(120, 360 - 960, 6255, 5655) << false;
    QTest::newRow("Frame2") << "Frame2" << QRect(120, 5160, 6255, 1935) << false;
    QTest::newRow("lsttv") << "lsttv" << QRect(120 + 120, 5160 + 240, 3135, 1500) << false;
    QTest::newRow("cmdopen") << "cmdopen" << QRect(120 + 4320, 5160 + 360, 800, 375) << false;
    QTest::newRow("cmdUp") << "cmdUp" << QRect(120 + 3480, 5160 + 840, 800, 375) << false;
    QTest::newRow("Command1") << "Command1" << QRect(120 + 4320, 5160 + 840, 800, 375) << false;
    QTest::newRow("cmdDown") << "cmdDown" << QRect(120 + 5160, 5160 + 840, 800, 375) << false;
    QTest::newRow("cmdstop") << "cmdstop" << QRect(120 + 4320, 5160 + 1320, 800, 375) << false;
    QTest::newRow("WebBrowser1") << "WebBrowser1" << QRect(120, 480, 6255, 6615) << false;
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
    QWidget *origin = onWindow ? m_w->centralWidget() : m_w->form()->SSTab1;
    const QPoint at = w->mapTo(origin, QPoint(0, 0));
    QCOMPARE(QRect(at, w->size()),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
}

void tst_Window::captions()
{
    const Ui::frmhome *ui = m_w->form();
    QCOMPARE(m_w->windowTitle(), "栎川在线电视机");
    QCOMPARE(ui->Frame2->title(), "电视节目表单");
    QCOMPARE(ui->Frame4->title(), "软件信息栏");
    QVERIFY(ui->Frame1->title().isEmpty());
    QCOMPARE(ui->cmdopen->text(), "欣赏");
    QCOMPARE(ui->cmdstop->text(), "停止");
    QCOMPARE(ui->cmdUp->text(), "频道 +");
    QCOMPARE(ui->cmdDown->text(), "频道 -");
    QCOMPARE(ui->Command1->text(), "关闭");
    QCOMPARE(ui->lblfeedback->text(), "意见建议信息反馈");
    QVERIFY(ui->lblfeedback->font().underline());
    QCOMPARE(ui->lblfeedback->font().pointSize(), 9);
    QVERIFY(!ui->lblfeedback->font().bold());
    QCOMPARE(ui->lblmsg1_1->text(), "设计");
    QCOMPARE(ui->lbltitle->text(), "名称");
    QCOMPARE(ui->lblversion->text(), "版本");
    QCOMPARE(ui->lblmsg1_0->text(), "功能");
    QCOMPARE(ui->lblmsg1_3->text(), "主页");
    QCOMPARE(ui->lblmsg1_2->text(), "发布");
    // The logo is shown at its natural size.
    QCOMPARE(ui->Image1->pixmap().size(), QSize(163, 116));
    QVERIFY(!ui->Image1->hasScaledContents());
    QCOMPARE(m_w->windowIcon().availableSizes().value(0), QSize(32, 32));
    QCOMPARE(ui->SSTab1->tabBar()->count(), 3);
    QCOMPARE(ui->SSTab1->tabBar()->tabText(0), "关于程序");
    QCOMPARE(ui->SSTab1->tabBar()->tabText(1), "程序界面");
    QCOMPARE(ui->SSTab1->tabBar()->tabText(2), "信息公告");
}

void tst_Window::hiddenControlsNeverVisible()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    const Ui::frmhome *ui = m_w->form();
    // The URL list lies wholly outside the client area; the list page has no
    // view at all.
    const QRect client = m_w->centralWidget()->rect();
    QCOMPARE(m_w->centralWidget()->size(), QSize(433, 480));
    QVERIFY(!client.intersects(ui->lsttvurl->geometry()));
    QVERIFY(ui->lsttvurl->visibleRegion().isEmpty());
    QCOMPARE(ui->lsttvurl->focusPolicy(), Qt::NoFocus);
    QVERIFY(!QWebEngineView::forPage(m_w->WebBrowsertvlist()));
    for (QWidget *page : {ui->tabAbout, ui->tabProgram, ui->tabNotices})
        QVERIFY(!ui->lsttvurl->isAncestorOf(page) && !page->isAncestorOf(ui->lsttvurl));
}

void tst_Window::firstShownOnAboutPage()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    const Ui::frmhome *ui = m_w->form();
    QCOMPARE(ui->SSTab1->Tab(), 0);
    QVERIFY(ui->Image1->isVisible());
    QVERIFY(ui->lblfeedback->isVisible());
    QVERIFY(ui->Frame4->isVisible());
    QVERIFY(!ui->lsttv->isVisible());
    QVERIFY(!ui->WebBrowsertv->isVisible());
    QVERIFY(!ui->cmdopen->isVisible());
    QVERIFY(!ui->WebBrowser1->isVisible());
    ui->SSTab1->setTab(1);
    QVERIFY(ui->lsttv->isVisible());
    QVERIFY(ui->WebBrowsertv->isVisible());
    QVERIFY(!ui->Frame4->isVisible());
    // The player fills its frame: its top 64 px are cut off.
    QCOMPARE(ui->WebBrowsertv->visibleRegion().boundingRect(),
             QRect(0, 64, ui->Frame1->width(), ui->Frame1->height()));
    ui->SSTab1->setTab(2);
    QVERIFY(ui->WebBrowser1->isVisible());
    QVERIFY(!ui->lsttv->isVisible());
}

void tst_Window::focusOrder()
{
    const Ui::frmhome *ui = m_w->form();
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    ui->SSTab1->setTab(1);
    const QList<QWidget *> expected{ui->lsttv, ui->cmdopen, ui->cmdstop,
                                    ui->cmdUp, ui->cmdDown, ui->Command1};
    QWidget *w = ui->lsttv;
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
    QList<frmhome::Step> steps;
    QList<QByteArray> pathsAtStep;
    connect(m_w, &frmhome::startupStep, this, [&](frmhome::Step s) {
        steps << s;
        QByteArrayList paths;
        for (const auto &r : m_server->requests())
            paths << r.path;
        pathsAtStep << paths.join(',');
    });
    VendorServer::Response list;
    list.body = "A;http://h/a\r\nB;http://h/b\r\n";
    m_server->setRoute("/zavo/list.txt", list);

    m_w->Form_Load();
    QCOMPARE(steps, (QList<frmhome::Step>{frmhome::Step::Prepared, frmhome::Step::ViewsStarted,
                                          frmhome::Step::OfferDone, frmhome::Step::ListRequested,
                                          frmhome::Step::VersionChecked}));
    // The list download starts only after the home-page offer, and the
    // version file is asked for last.
    QVERIFY(!pathsAtStep[2].contains("/zavo/list.txt"));
    QVERIFY(!pathsAtStep[3].contains("/version/zavo.txt"));
    QVERIFY(m_w->isVisible());

    const Ui::frmhome *ui = m_w->form();
    QCOMPARE(ui->lbltitle->text(), "名称 栎川在线电视机");
    QCOMPARE(ui->lblversion->text(), "版本 1.1.0");
    QCOMPARE(m_w->lblmsg1()[0]->text(), "功能 免费在线观看电视.");
    QCOMPARE(m_w->lblmsg1()[1]->text(), "设计 栎川软件工作室");
    QCOMPARE(m_w->lblmsg1()[2]->text(), "主页 " + m_server->baseUrl());
    QVERIFY(m_w->lblmsg1()[3]->text().startsWith("邮件 "));
    QVERIFY(m_w->lblmsg1()[3]->text().contains(u'@'));
    QTRY_COMPARE(ui->WebBrowser1->url(), QUrl(m_server->baseUrl() + "/msg.htm"));
    QTRY_COMPARE(ui->WebBrowsertv->url(), QUrl(m_server->baseUrl() + "/zavomsg.htm"));
    QTRY_COMPARE_WITH_TIMEOUT(ui->Frame2->title(), "电视节目表单 2", 20000);

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
    m_w->Form_Load();
    QVERIFY(t.elapsed() >= 3500);
    QVERIFY(visibleWithListBeforeReturn);
    QCOMPARE(m_w->form()->Frame2->title(), "电视节目表单 1");
}

void tst_Window::formLoadWithoutList()
{
    VendorServer::Response missing;
    missing.status = 404;
    missing.body = "A;u\r\n";
    m_server->setRoute("/zavo/list.txt", missing);
    m_w->Form_Load();
    // Shown at the end of start-up, with the design caption.
    QVERIFY(m_w->isVisible());
    QCOMPARE(m_w->form()->Frame2->title(), "电视节目表单");
}

// The engine's own texts: the notice view's context menu and its error pages.
void tst_Window::engineSpeaksChinese()
{
    QWebEngineView *notices = m_w->form()->WebBrowser1;
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
