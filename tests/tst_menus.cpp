// The window's menu commands, buttons and links.

#include "app/clickablelabel.h"
#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "testsupport.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include <QGroupBox>
#include <QListView>
#include <QWebEngineView>
#include <QtTest>

class tst_Menus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void commands_data();
    void commands();
    void guideRefresh_data();
    void guideRefresh();
    void feedbackTurnsRed();
    void newWindowLinks_data();
    void newWindowLinks();

private:
    TabControl *tabs() const { return m_f.part<TabControl>("tabs"); }
    QString channelCaption() const { return m_f.part<QGroupBox>("channelFrame")->title(); }

    ViewerFixture m_f;
    BrowserCatcher *m_browser = nullptr;
};

void tst_Menus::initTestCase()
{
    m_browser = new BrowserCatcher(this);
}

void tst_Menus::init()
{
    QVERIFY(m_f.setUp());
    m_browser->opened.clear();
    QVERIFY(m_f.show());
}

void tst_Menus::cleanup()
{
    m_f.tearDown();
}

void tst_Menus::commands_data()
{
    QTest::addColumn<QString>("control"); // a menu action, or a control clicked with button
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("fromTab");
    QTest::addColumn<int>("toTab");
    QTest::addColumn<QString>("opened"); // after the vendor site; nothing when null
    QTest::addColumn<QString>("question"); // none when empty

    const auto left = Qt::LeftButton;
    QTest::newRow("logo") << "logo" << left << 0 << 0 << "" << QString();
    QTest::newRow("feedback link")
        << "feedbackLink" << left << 0 << 0 << "/writebook.asp" << QString();
    QTest::newRow("feedback menu")
        << "feedbackAction" << left << 0 << 0 << "/writebook.asp" << QString();
    QTest::newRow("logo, right button")
        << "logo" << Qt::RightButton << 0 << 0 << QString() << QString();
    QTest::newRow("feedback link, middle button")
        << "feedbackLink" << Qt::MiddleButton << 0 << 0 << QString() << QString();
    for (int from = 0; from < 3; ++from) {
        QTest::addRow("notices menu from tab %d", from)
            << "noticesAction" << left << from << 2 << QString() << QString();
        QTest::addRow("about menu from tab %d", from)
            << "aboutAction" << left << from << 0 << QString() << QString();
    }
    QTest::newRow("support menu") << "supportAction" << left << 0 << 0 << QString()
                                  << "感谢您对栎川软件的支持,栎川软件有您而精彩.";
}

void tst_Menus::commands()
{
    QFETCH(QString, control);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, fromTab);
    QFETCH(int, toTab);
    QFETCH(QString, opened);
    QFETCH(QString, question);

    // Only the support command makes the vendor's page the start page.
    m_f.store->value = "about:blank";
    tabs()->setCurrentIndex(fromTab);
    if (auto *action = m_f.window->findChild<QAction *>(control)) {
        action->trigger();
    } else {
        auto *w = m_f.window->findChild<QWidget *>(control);
        QVERIFY(w && w->isVisible());
        QTest::mouseClick(w, button, {}, w->rect().center());
    }
    QCOMPARE(m_browser->opened,
        opened.isNull() ? QStringList {} : QStringList {m_f.server->baseUrl() + opened});
    QCOMPARE(m_f.prompts->texts(), question.isEmpty() ? QStringList {} : QStringList {question});
    QCOMPARE(m_f.store->value,
        std::optional<QString>(question.isEmpty()
                ? QStringLiteral("about:blank")
                : VendorSite(m_f.server->baseUrl()).navigationPage()));
    QVERIFY(m_f.window->isVisible());
    // The page shown is the one selected.
    QCOMPARE(tabs()->currentIndex(), toTab);
    const char *pages[] = {"tabAbout", "tabProgram", "tabNotices"};
    QVERIFY(m_f.part<QWidget>(pages[toTab])->isVisible());
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
    QListView *list = m_f.channelList();
    if (!before.isEmpty()) {
        m_f.guide()->loadList(before);
        list->setCurrentIndex(list->model()->index(1, 0));
    }
    QCOMPARE(channelCaption(), caption);
    QSignalSpy loaded(m_f.guide(), &ChannelGuide::listLoaded);
    m_f.server->clearRequests();
    m_f.part<QAction>("refreshAction")->trigger();
    // Emptied at once; the caption keeps its text until the new list.
    QCOMPARE(list->model()->rowCount(), 0);
    QVERIFY(list->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(channelCaption(), caption);

    QVERIFY(loaded.wait(20000));
    const int channels = bundledChannelCount();
    QCOMPARE(loaded.first().first().toInt(), channels);
    QCOMPARE(list->model()->rowCount(), channels);
    QCOMPARE(channelCaption(), QStringLiteral("电视节目表单 %1").arg(channels));
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

void tst_Menus::feedbackTurnsRed()
{
    auto *link = m_f.part<ClickableLabel>("feedbackLink");
    // Pixels of the link drawn in red, as they reach the screen.
    const auto redPixels = [link] {
        const QImage shot = link->grab().toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x)
                n += shot.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
        }
        return n;
    };
    QCOMPARE(redPixels(), 0);

    QTest::mouseMove(link, link->rect().center());
    QTRY_VERIFY(redPixels() > 20);
    // Pointer elsewhere, window inactive: still red.
    auto *info = m_f.part<QWidget>("infoFrame");
    QTest::mouseMove(info, info->rect().center());
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    QVERIFY2(redPixels() > 20, qPrintable(QString::number(redPixels())));
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
    // Which addresses count as web ones is the address rule's own table;
    // here, that each way of asking reaches it, and that the player never opens.
    for (const char *view : {"noticeView", "player"}) {
        const bool notices = qstrcmp(view, "noticeView") == 0;
        QTest::addRow("%s, target=_blank link", view) << view << link << news << notices;
        QTest::addRow("%s, window.open", view) << view << script << news << notices;
    }
    QTest::newRow("noticeView, https link")
        << "noticeView" << link << "https://news.example.com/a?b=c" << true;
    QTest::newRow("noticeView, file link") << "noticeView" << link << "file:///etc/passwd" << false;
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
    tabs()->setCurrentIndex(view == "noticeView" ? 2 : 1);
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

VIEWER_TEST_MAIN(tst_Menus)
#include "tst_menus.moc"
