// The window's menu commands, buttons and links.

#include "app/clickablelabel.h"
#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "app/windowbehaviour.h"
#include "guide/channelguide.h"
#include "modaldriver.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include "webview/playerview.h"
#include <QDesktopServices>
#include <QGroupBox>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QWebEngineView>
#include <QtTest>

class tst_Menus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void opensInBrowser_data();
    void opensInBrowser();
    void tabs_data();
    void tabs();
    void guideRefresh_data();
    void guideRefresh();
    void topmostCommand();
    void supportCommand_data();
    void supportCommand();
    void closeCommands_data();
    void closeCommands();
    void feedbackTurnsRed();
    void newWindowLinks_data();
    void newWindowLinks();

private:
    void trigger(const QString &control);

    ViewerFixture m_f;
    ModalDriver *m_driver = nullptr;
    BrowserCatcher *m_browser = nullptr;
    int m_enderCalls = 0;
};

void tst_Menus::initTestCase()
{
    installChineseTranslations();
    m_browser = new BrowserCatcher(this);
}

void tst_Menus::cleanupTestCase()
{
    delete m_browser;
    m_browser = nullptr;
}

void tst_Menus::init()
{
    QVERIFY(m_f.setUp());
    m_enderCalls = 0;
    m_f.window->setProgramEnder([this] { ++m_enderCalls; });
    m_driver = new ModalDriver(this);
    m_browser->opened.clear();
    QVERIFY(m_f.show());
}

void tst_Menus::cleanup()
{
    delete m_driver;
    m_driver = nullptr;
    m_f.tearDown();
}

// A menu action by name, or a left click on a control.
void tst_Menus::trigger(const QString &control)
{
    if (auto *action = m_f.window->findChild<QAction *>(control)) {
        action->trigger();
        return;
    }
    auto *w = m_f.window->findChild<QWidget *>(control);
    QVERIFY2(w && w->isVisible(), qPrintable(control));
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

void tst_Menus::opensInBrowser_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QString>("path"); // after the vendor site; none when null

    QTest::newRow("logo") << "logo" << Qt::LeftButton << "";
    QTest::newRow("feedback link") << "feedbackLink" << Qt::LeftButton << "/writebook.asp";
    QTest::newRow("feedback menu") << "feedbackAction" << Qt::LeftButton << "/writebook.asp";
    QTest::newRow("logo, right button") << "logo" << Qt::RightButton << QString();
    QTest::newRow("feedback link, middle button")
        << "feedbackLink" << Qt::MiddleButton << QString();
}

void tst_Menus::opensInBrowser()
{
    QFETCH(QString, control);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QString, path);

    if (auto *action = m_f.window->findChild<QAction *>(control)) {
        action->trigger();
    } else {
        auto *w = m_f.window->findChild<QWidget *>(control);
        QVERIFY(w && w->isVisible());
        QTest::mouseClick(w, button, {}, w->rect().center());
    }
    const QStringList expected
        = path.isNull() ? QStringList {} : QStringList {m_f.server->baseUrl() + path};
    QCOMPARE(m_browser->opened, expected);
    QVERIFY(m_driver->seen().isEmpty());
    QVERIFY(m_f.window->isVisible());
    QCOMPARE(m_f.window->form()->tabs->currentIndex(), 0);
}

void tst_Menus::tabs_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    for (int from = 0; from < 3; ++from) {
        QTest::addRow("noticesAction from %d", from) << "noticesAction" << from << 2;
        QTest::addRow("aboutAction from %d", from) << "aboutAction" << from << 0;
    }
}

void tst_Menus::tabs()
{
    QFETCH(QString, action);
    QFETCH(int, from);
    QFETCH(int, to);

    TabControl *tabs = m_f.window->form()->tabs;
    tabs->setCurrentIndex(from);
    QCOMPARE(tabs->currentIndex(), from);
    trigger(action);
    QCOMPARE(tabs->currentIndex(), to);
    // The page shown is the one selected.
    QWidget *page = QList<QWidget *> {m_f.window->form()->tabAbout, m_f.window->form()->tabProgram,
        m_f.window->form()->tabNotices}[to];
    QVERIFY(page->isVisible());
    QVERIFY(m_browser->opened.isEmpty());
}

void tst_Menus::guideRefresh_data()
{
    QTest::addColumn<QString>("before"); // list loaded before the command, if any
    QTest::addColumn<QString>("caption"); // while the update is under way
    QTest::newRow("nothing loaded yet") << QString() << "电视节目表单";
    QTest::newRow("a list loaded and a channel selected") << "A;http://h/a\r\nB;http://h/b\r\n"
                                                          << "电视节目表单 2";
}

void tst_Menus::guideRefresh()
{
    QFETCH(QString, before);
    QFETCH(QString, caption);
    QListView *list = m_f.window->form()->channelList;
    if (!before.isEmpty()) {
        m_f.window->guide()->loadList(before);
        list->setCurrentIndex(list->model()->index(1, 0));
    }
    QCOMPARE(m_f.window->form()->channelFrame->title(), caption);
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    m_f.server->clearRequests();
    trigger("refreshAction");
    // Emptied at once; the caption keeps its text until the new list.
    QCOMPARE(list->model()->rowCount(), 0);
    QVERIFY(list->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(m_f.window->form()->channelFrame->title(), caption);

    QVERIFY(loaded.wait(20000));
    QCOMPARE(loaded.first().first().toInt(), 16);
    QCOMPARE(list->model()->rowCount(), 16);
    QCOMPARE(m_f.window->form()->channelFrame->title(), "电视节目表单 16");
    // Fetched from the site, not from a cache.
    QList<VendorServer::Request> fetches;
    for (const auto &r : m_f.server->requests()) {
        if (r.path == "/zavo/list.txt")
            fetches << r;
    }
    QCOMPARE(fetches.size(), 1);
    QCOMPARE(fetches.first().header("Cache-Control"), "no-cache");
    QCOMPARE(fetches.first().header("Pragma"), "no-cache");
}

void tst_Menus::topmostCommand()
{
    QAction *action = m_f.window->form()->staysOnTopAction;
    trigger("staysOnTopAction");
    QCOMPARE(action->text(), "取消置顶");
    QVERIFY(m_f.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(m_f.window->isVisible());
    trigger("staysOnTopAction");
    QCOMPARE(action->text(), "窗口置顶");
    QVERIFY(!m_f.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(m_f.window->isVisible());
}

void tst_Menus::supportCommand_data()
{
    QTest::addColumn<bool>("alreadyOurs");
    QTest::addColumn<int>("writes");
    QTest::newRow("start page already ours") << true << 0;
    QTest::newRow("start page elsewhere") << false << 1;
}

void tst_Menus::supportCommand()
{
    QFETCH(bool, alreadyOurs);
    QFETCH(int, writes);
    if (!alreadyOurs)
        m_f.store->value = "about:blank";
    trigger("supportAction");
    QTRY_COMPARE(m_driver->seen().size(), 1);
    QCOMPARE(m_driver->seen()[0].text, "感谢您对栎川软件的支持,栎川软件有您而精彩.");
    QCOMPARE(m_driver->seen()[0].title, "提示");
    QCOMPARE(m_f.store->writes, writes);
    QCOMPARE(m_f.store->value, std::optional<QString>(m_f.server->baseUrl() + "/dh.htm"));
}

void tst_Menus::closeCommands_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("answer");
    for (const char *control : {"quitAction", "closeButton"}) {
        QTest::addRow("%s, Cancel", control) << control << int(QMessageBox::Cancel);
        QTest::addRow("%s, Escape", control) << control << int(ModalDriver::Escape);
        QTest::addRow("%s, OK", control) << control << int(QMessageBox::Ok);
    }
}

void tst_Menus::closeCommands()
{
    QFETCH(QString, control);
    QFETCH(int, answer);

    const Ui::MainWindow *ui = m_f.window->form();
    ui->tabs->setCurrentIndex(1);
    ui->staysOnTopAction->trigger();
    const QUrl player = ui->player->url();
    m_driver->queue(answer);
    trigger(control);

    QTRY_COMPARE(m_driver->seen().size(), 1);
    const SeenBox box = m_driver->seen()[0];
    QCOMPARE(box.text, "您确定要退出程序吗?");
    QCOMPARE(box.title, "退出提示");
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.buttons, (QStringList {"确定", "取消"}));
    QVERIFY(box.parentVisible);

    QTRY_VERIFY(!ModalDriver::openBox());
    if (answer == QMessageBox::Ok) {
        QCOMPARE(m_enderCalls, 1);
        return;
    }
    QCOMPARE(m_enderCalls, 0);
    QVERIFY(m_f.window->isVisible());
    QCOMPARE(ui->tabs->currentIndex(), 1);
    QCOMPARE(ui->player->url(), player);
    QCOMPARE(ui->staysOnTopAction->text(), "取消置顶");
    QVERIFY(m_f.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(m_browser->opened.isEmpty());
}

void tst_Menus::feedbackTurnsRed()
{
    ClickableLabel *link = m_f.window->form()->feedbackLink;
    const QColor red(255, 0, 0);
    QVERIFY(link->palette().color(QPalette::WindowText) != red);

    QTest::mouseMove(link, link->rect().center());
    QTRY_COMPARE(link->palette().color(QPalette::WindowText), red);
    // Pointer elsewhere, then a new paint: still red, in every state.
    QTest::mouseMove(m_f.window->form()->infoFrame, m_f.window->form()->infoFrame->rect().center());
    QCoreApplication::processEvents();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        QCOMPARE(link->palette().color(group, QPalette::WindowText), red);
    QCOMPARE(link->palette().color(QPalette::WindowText).rgb(), qRgb(255, 0, 0));

    // The text really is drawn in red.
    const QImage shot = link->grab().toImage();
    int redPixels = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x)
            redPixels += shot.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
    }
    QVERIFY2(redPixels > 20, qPrintable(QString::number(redPixels)));
    QVERIFY(m_browser->opened.isEmpty());
}

void tst_Menus::newWindowLinks_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("html"); // %1 is the address the page asks to open
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("opened");

    const QString link = QStringLiteral(
        "<a href=\"%1\" target=\"_blank\" style=\"position:fixed;inset:0\">link</a>");
    const QString script = QStringLiteral(
        "<div onclick=\"window.open('%1')\" style=\"position:fixed;inset:0\">open</div>");
    const QString news = QStringLiteral("http://news.example.com/today.htm");
    for (const char *view : {"noticeView", "player"}) {
        const bool notices = qstrcmp(view, "noticeView") == 0;
        QTest::addRow("%s, target=_blank link", view) << view << link << news << notices;
        QTest::addRow("%s, window.open", view) << view << script << news << notices;
        QTest::addRow("%s, https link", view)
            << view << link << "https://news.example.com/a?b=c" << notices;
        QTest::addRow("%s, file link", view) << view << link << "file:///etc/passwd" << false;
        QTest::addRow("%s, script address", view) << view << script << "javascript:1" << false;
    }
}

void tst_Menus::newWindowLinks()
{
    QFETCH(QString, view);
    QFETCH(QString, html);
    QFETCH(QString, address);
    QFETCH(bool, opened);

    VendorServer::Response page;
    page.contentType = "text/html; charset=utf-8";
    page.body = QStringLiteral("<html><body>%1</body></html>").arg(html.arg(address)).toUtf8();
    m_f.server->setRoute("/popup.htm", page);
    m_f.window->form()->tabs->setCurrentIndex(view == "noticeView" ? 2 : 1);
    auto *web = m_f.window->findChild<QWebEngineView *>(view);
    QVERIFY(web && web->isVisible());
    const QUrl url(m_f.server->baseUrl() + "/popup.htm");
    web->load(url);
    QVERIFY(waitForLoad(web->page(), url));
    m_f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_f.window));

    // A real click, so the page has the user's gesture behind it.
    const QPoint at = web->mapToGlobal(web->rect().center());
    X11Probe::clickAt(at);
    if (opened) {
        QTRY_COMPARE(m_browser->opened, QStringList {QUrl(address).toString()});
    } else {
        QVERIFY(!QTest::qWaitFor([&] { return !m_browser->opened.isEmpty(); }, 1500));
    }
    // The view itself stays where it was.
    QCOMPARE(web->url(), url);
    QCOMPARE(m_browser->opened.size(), opened ? 1 : 0);
}

QTEST_MAIN(tst_Menus)
#include "tst_menus.moc"
