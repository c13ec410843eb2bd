// Channel selection and playback, against our own server and the bundled
// demo channels.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "pageprobe.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "webview/playerview.h"
#include "webview/silentpage.h"
#include "x11probe.h"

#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QWebEngineView>
#include <QtTest>

class tst_Playback : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void stepping_data();
    void stepping();
    void everyPlayLoadsAgain();
    void emptyListDoesNothing_data();
    void emptyListDoesNothing();
    void hostileUrlsNeverLoad_data();
    void hostileUrlsNeverLoad();
    void addressBarUrlsPlay_data();
    void addressBarUrlsPlay();
    void focusAloneSelectsNothing_data();
    void focusAloneSelectsNothing();
    void fragmentStepsStayAudible_data();
    void fragmentStepsStayAudible();
    void selectingOnlySelects();
    void doubleClickAndEnterPlay();
    void pageKeysStep();
    void stopKeepsSelection();
    void refreshDropsSelection();
    void realPlayback_data();
    void realPlayback();
    void switchingSilencesAtOnce();
    void fullScreenAndBack();
    void noContextMenuInPlayer();

private:
    void fill(int channels);
    int requestsFor(const QByteArray &path) const;
    QListView *list() const { return m_f.window->form()->channelList; }
    // As a click on the name does.
    void selectRow(int row) { list()->setCurrentIndex(list()->model()->index(row, 0)); }
    // The player's own page, also while it shows fullscreen.
    QWebEnginePage *playerPage() const { return m_f.window->form()->player->silentPage(); }
    QVariant js(const QString &script) { return PageProbe::run(playerPage(), script); }
    bool waitPlaying() { return PageProbe::waitPlaying(playerPage()); }

    ViewerFixture m_f;
};

void tst_Playback::initTestCase()
{
    installChineseTranslations();
}

void tst_Playback::init()
{
    QVERIFY(m_f.setUp(6));
    m_f.window->form()->tabs->setCurrentIndex(1);
    QVERIFY(m_f.show());
}

void tst_Playback::cleanup()
{
    m_f.tearDown();
}

void tst_Playback::fill(int channels)
{
    QString text;
    for (int i = 0; i < channels; ++i)
        text += QStringLiteral("频道%1;%2\r\n").arg(i).arg(m_f.channelUrl(i));
    if (channels)
        m_f.window->guide()->loadList(text);
}

int tst_Playback::requestsFor(const QByteArray &path) const
{
    int n = 0;
    for (const auto &r : m_f.server->requests())
        n += r.path == path;
    return n;
}

void tst_Playback::stepping_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("expected");

    QTest::newRow("+ from the third of five") << 5 << 2 << "nextButton" << 3;
    QTest::newRow("- from the third of five") << 5 << 2 << "previousButton" << 1;
    QTest::newRow("+ wraps from the last") << 5 << 4 << "nextButton" << 0;
    QTest::newRow("- wraps from the first") << 5 << 0 << "previousButton" << 4;
    QTest::newRow("+ with one channel") << 1 << 0 << "nextButton" << 0;
    QTest::newRow("- with one channel") << 1 << 0 << "previousButton" << 0;
    QTest::newRow("watch with no selection") << 5 << -1 << "watchButton" << 0;
    QTest::newRow("+ with no selection") << 5 << -1 << "nextButton" << 0;
    QTest::newRow("- with no selection picks the last") << 5 << -1 << "previousButton" << 4;
    QTest::newRow("watch keeps the selection") << 5 << 3 << "watchButton" << 3;
}

void tst_Playback::stepping()
{
    QFETCH(int, channels);
    QFETCH(int, selected);
    QFETCH(QString, button);
    QFETCH(int, expected);

    fill(channels);
    selectRow(selected);
    m_f.window->findChild<QPushButton *>(button)->click();
    QCOMPARE(m_f.selectedRow(), expected);
    // The list moves with it, as a click there would.
    QCOMPARE(list()->currentIndex().row(), expected);
    QTRY_COMPARE_WITH_TIMEOUT(
        m_f.window->form()->player->url(), QUrl(m_f.channelUrl(expected)), 10000);
}

void tst_Playback::everyPlayLoadsAgain()
{
    fill(1);
    QSignalSpy finished(m_f.window->form()->player->page(), &QWebEnginePage::loadFinished);
    for (int i = 1; i <= 3; ++i) {
        i == 2 ? m_f.window->form()->nextButton->click() : m_f.window->form()->watchButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor("/ch/0"), i, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), i, 10000);
    }
}

void tst_Playback::emptyListDoesNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("watch") << "watchButton";
    QTest::newRow("channel +") << "nextButton";
    QTest::newRow("channel -") << "previousButton";
}

void tst_Playback::emptyListDoesNothing()
{
    QFETCH(QString, button);
    QSignalSpy started(m_f.window->form()->player->page(), &QWebEnginePage::loadStarted);
    m_f.window->findChild<QPushButton *>(button)->click();
    QCOMPARE(m_f.selectedRow(), -1);
    QVERIFY(!started.wait(200));
    QCOMPARE(m_f.window->form()->player->page()->requestedUrl(), QUrl());
}

void tst_Playback::hostileUrlsNeverLoad_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("file") << "file:///etc/passwd";
    QTest::newRow("javascript") << "javascript:document.title='owned'";
    QTest::newRow("data") << "data:text/html,<h1>x</h1>";
    QTest::newRow("view-source") << "view-source:http://127.0.0.1/";
    QTest::newRow("qrc") << "qrc:/images/logo.jpg";
    QTest::newRow("chrome") << "chrome://gpu";
    QTest::newRow("empty") << "";
    QTest::newRow("not a url") << "http://exa mple.com/";
}

void tst_Playback::hostileUrlsNeverLoad()
{
    QFETCH(QString, url);
    m_f.window->guide()->loadList(
        QStringLiteral("坏频道;") + url + QStringLiteral("\r\n好频道;") + m_f.channelUrl(1));
    QCOMPARE(m_f.window->guide()->channelCount(), 2);
    QSignalSpy started(m_f.window->form()->player->page(), &QWebEnginePage::loadStarted);
    m_f.window->form()->watchButton->click();
    QCOMPARE(m_f.selectedRow(), 0);
    QVERIFY(!started.wait(300));
    QCOMPARE(m_f.window->form()->player->page()->requestedUrl(), QUrl());
    // The next channel still plays.
    m_f.window->form()->nextButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->form()->player->url(), QUrl(m_f.channelUrl(1)), 10000);
}

void tst_Playback::addressBarUrlsPlay_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("query");
    QTest::newRow("blank in the query") << "?n=a b" << QByteArray("n=a%20b");
    QTest::newRow("bar in the query") << "?a|b" << QByteArray("a%7Cb");
    QTest::newRow("Chinese in the query") << "?台=一" << QByteArray("%E5%8F%B0=%E4%B8%80");
    QTest::newRow("trailing blank") << "?x=1 " << QByteArray("x=1");
}

void tst_Playback::addressBarUrlsPlay()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, query);
    m_f.window->guide()->loadList(QStringLiteral("一台;%1\r\n二台;%2%3\r\n")
                                      .arg(m_f.channelUrl(1), m_f.channelUrl(2), suffix));
    m_f.window->form()->watchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(requestsFor("/ch/1"), 1, 10000);
    // Channel + goes to the address with the odd characters, not nowhere.
    m_f.window->form()->nextButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(requestsFor("/ch/2"), 1, 10000);
    for (const auto &r : m_f.server->requests()) {
        if (r.path == "/ch/2")
            QCOMPARE(r.query, query);
    }
    QTRY_COMPARE_WITH_TIMEOUT(
        m_f.window->form()->player->page()->url().path(), QStringLiteral("/ch/2"), 10000);
}

void tst_Playback::focusAloneSelectsNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("played");
    QTest::newRow("Watch") << "watchButton" << 0;
    QTest::newRow("Channel +") << "nextButton" << 0;
    QTest::newRow("Channel -") << "previousButton" << 3;
}

void tst_Playback::focusAloneSelectsNothing()
{
    QFETCH(QString, button);
    QFETCH(int, played);
    fill(4);
    m_f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_f.window));
    // Back-tab into the list from Watch: Qt makes the first row current,
    // selecting nothing.
    m_f.window->form()->watchButton->setFocus();
    QTest::keyClick(m_f.window->form()->watchButton, Qt::Key_Backtab);
    QTRY_VERIFY(list()->hasFocus());
    QCOMPARE(list()->currentIndex().row(), 0);
    QVERIFY(list()->selectionModel()->selectedIndexes().isEmpty());
    m_f.window->findChild<QPushButton *>(button)->click();
    QCOMPARE(list()->currentIndex().row(), played);
    QCOMPARE(list()->selectionModel()->selectedIndexes().size(), 1);
    QCOMPARE(m_f.selectedRow(), played);
    QTRY_COMPARE_WITH_TIMEOUT(
        m_f.window->form()->player->url(), QUrl(m_f.channelUrl(played)), 10000);
}

void tst_Playback::fragmentStepsStayAudible_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("presses");
    QTest::newRow("another fragment") << QStringList {"/player#one",
        "/player#two"} << QStringList {"watchButton", "nextButton", "nextButton", "previousButton"};
    QTest::newRow("the same fragment again") << QStringList {
        "/player#one", "/player#one"} << QStringList {"watchButton", "nextButton", "watchButton"};
    QTest::newRow("fragment to none and back") << QStringList {
        "/player#one", "/player"} << QStringList {"watchButton", "nextButton", "nextButton"};
    QTest::newRow("fragment of another page") << QStringList {
        "/player#one", "/other#one"} << QStringList {"watchButton", "nextButton", "nextButton"};
}

void tst_Playback::fragmentStepsStayAudible()
{
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, presses);
    VendorServer::Response page;
    page.contentType = "text/html; charset=utf-8";
    page.body = "<html><body>one player page for every channel</body></html>";
    m_f.server->setRoute("/player", page);
    m_f.server->setRoute("/other", page);
    QString text;
    for (int i = 0; i < addresses.size(); ++i)
        text += QStringLiteral("台%1;%2%3\r\n").arg(i).arg(m_f.server->baseUrl(), addresses[i]);
    m_f.window->guide()->loadList(text);
    QWebEnginePage *player = m_f.window->form()->player->page();
    for (const QString &press : presses) {
        m_f.window->findChild<QPushButton *>(press)->click();
        const QUrl picked(m_f.server->baseUrl() + addresses[m_f.selectedRow()]);
        QTRY_COMPARE_WITH_TIMEOUT(player->url(), picked, 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(!player->isAudioMuted(), qPrintable(press), 10000);
    }
}

void tst_Playback::selectingOnlySelects()
{
    fill(3);
    QSignalSpy started(m_f.window->form()->player->page(), &QWebEnginePage::loadStarted);
    list()->setFocus();
    selectRow(0);
    QTest::keyClick(list(), Qt::Key_Down);
    QCOMPARE(m_f.selectedRow(), 1);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
        list()->visualRect(list()->model()->index(2, 0)).center());
    QCOMPARE(m_f.selectedRow(), 2);
    QVERIFY(!started.wait(300));
    QCOMPARE(m_f.window->form()->player->page()->requestedUrl(), QUrl());
}

void tst_Playback::doubleClickAndEnterPlay()
{
    fill(3);
    const QPoint at = list()->visualRect(list()->model()->index(1, 0)).center();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->form()->player->url(), QUrl(m_f.channelUrl(1)), 10000);

    list()->setFocus();
    selectRow(2);
    QTest::keyClick(list(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->form()->player->url(), QUrl(m_f.channelUrl(2)), 10000);
}

void tst_Playback::pageKeysStep()
{
    fill(4);
    m_f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_f.window));
    m_f.window->form()->watchButton->setFocus();
    selectRow(1);
    QTest::keyClick(m_f.window->form()->watchButton, Qt::Key_PageDown);
    QCOMPARE(m_f.selectedRow(), 2);
    QTest::keyClick(m_f.window->form()->watchButton, Qt::Key_PageUp);
    QTest::keyClick(m_f.window->form()->watchButton, Qt::Key_PageUp);
    QCOMPARE(m_f.selectedRow(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->form()->player->url(), QUrl(m_f.channelUrl(0)), 10000);
    // Not while another page is in front.
    m_f.window->form()->tabs->setCurrentIndex(0);
    QTest::keyClick(m_f.window, Qt::Key_PageDown);
    QCOMPARE(m_f.selectedRow(), 0);
}

void tst_Playback::stopKeepsSelection()
{
    fill(3);
    selectRow(1);
    m_f.window->form()->watchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->form()->player->url(), QUrl(m_f.channelUrl(1)), 10000);
    m_f.window->form()->stopButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(
        m_f.window->form()->player->url(), QUrl(m_f.server->baseUrl() + "/zavomsg.htm"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_f.selectedRow(), 1, 5000);
    m_f.window->form()->watchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->form()->player->url(), QUrl(m_f.channelUrl(1)), 10000);
}

void tst_Playback::refreshDropsSelection()
{
    VendorServer::Response newList;
    newList.body = QStringLiteral("新一;%1\r\n新二;%2\r\n")
                       .arg(m_f.channelUrl(3), m_f.channelUrl(4))
                       .toUtf8();
    m_f.server->setRoute("/zavo/list.txt", newList);
    fill(3);
    selectRow(2);
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    m_f.window->form()->refreshAction->trigger();
    QCOMPARE(m_f.selectedRow(), -1);
    // Buttons pressed while the update is under way do nothing.
    m_f.window->form()->nextButton->click();
    m_f.window->form()->previousButton->click();
    QCOMPARE(list()->model()->rowCount(), 0);
    QCOMPARE(m_f.selectedRow(), -1);
    QVERIFY(loaded.wait(20000));
    m_f.window->form()->watchButton->click();
    QCOMPARE(m_f.selectedRow(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->form()->player->url(), QUrl(m_f.channelUrl(3)), 10000);
}

void tst_Playback::realPlayback_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("H.264/AAC MP4") << 1;
    QTest::newRow("HLS through hls.js") << 3;
    QTest::newRow("WebM") << 4;
}

void tst_Playback::realPlayback()
{
    QFETCH(int, channel);
    if (!QFile::exists(QStringLiteral(SITE_DIR "/media/01.mp4")))
        QSKIP("demo media not generated (site/setup.sh)");
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    m_f.window->guide()->refresh();
    QVERIFY(loaded.wait(20000));
    QCOMPARE(m_f.window->guide()->channelCount(), 16);
    selectRow(channel - 1);
    m_f.window->form()->watchButton->click();
    QVERIFY(waitPlaying());
    const QVariantList a = js("(function(){var v=document.getElementById('tv');"
                              "return [v.currentTime,v.muted,v.volume];})()")
                               .toList();
    QVERIFY2(PageProbe::waitPlaying(playerPage(), a[0].toDouble() + 0.2, 5000),
        "the video is not advancing");
    QCOMPARE(a[1].toBool(), false);
    QVERIFY(a[2].toDouble() > 0);
    QVERIFY(!m_f.window->form()->player->page()->isAudioMuted());
}

void tst_Playback::switchingSilencesAtOnce()
{
    if (!QFile::exists(QStringLiteral(SITE_DIR "/media/01.mp4")))
        QSKIP("demo media not generated (site/setup.sh)");
    // The next channel answers slowly: the old one must not go on being heard.
    VendorServer::Response slow;
    slow.delayMs = 3000;
    slow.contentType = "text/html";
    slow.body = "<html><body>slow</body></html>";
    m_f.server->setRoute("/slow", slow);
    m_f.window->guide()->loadList(
        QStringLiteral("一台;%1/tv/01.htm\r\n慢台;%1/slow\r\n").arg(m_f.server->baseUrl()));
    m_f.window->form()->watchButton->click();
    QVERIFY(waitPlaying());
    QWebEnginePage *page = m_f.window->form()->player->page();
    m_f.window->form()->nextButton->click();
    QVERIFY(page->isAudioMuted());
    QTRY_COMPARE_WITH_TIMEOUT(page->url(), QUrl(m_f.server->baseUrl() + "/slow"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!page->isAudioMuted(), 10000);

    m_f.window->form()->previousButton->click();
    QVERIFY(waitPlaying());
    m_f.window->form()->stopButton->click();
    QVERIFY(page->isAudioMuted());
    QTRY_COMPARE_WITH_TIMEOUT(page->url(), QUrl(m_f.server->baseUrl() + "/zavomsg.htm"), 10000);
    // The stop page holds no playing media.
    QTRY_COMPARE_WITH_TIMEOUT(
        js("Array.from(document.querySelectorAll('video,audio')).filter(m=>!m.paused).length")
            .toInt(),
        0, 10000);
}

void tst_Playback::fullScreenAndBack()
{
    if (!QFile::exists(QStringLiteral(SITE_DIR "/media/01.mp4")))
        QSKIP("demo media not generated (site/setup.sh)");
    m_f.window->guide()->loadList(
        QStringLiteral("一台;%1/tv/01.htm\r\n二台;%1/tv/02.htm\r\n").arg(m_f.server->baseUrl()));
    m_f.window->form()->watchButton->click();
    QVERIFY(waitPlaying());
    const QRect before = m_f.window->geometry();
    PlayerView *player = m_f.window->form()->player;
    QSignalSpy changed(player, &PlayerView::fullScreenChanged);
    m_f.window->activateWindow();
    X11Probe::clickAt(player, QPoint(208, 200), 1, 2);
    QTRY_VERIFY_WITH_TIMEOUT(player->isFullScreen(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        player->isWindow() && player->windowState() & Qt::WindowFullScreen, 5000);
    QCOMPARE(
        js("document.fullscreenElement ? document.fullscreenElement.id : ''").toString(), "tv");
    QTRY_VERIFY_WITH_TIMEOUT(player->isActiveWindow(), 5000);

    // Page Down steps the channel from fullscreen too.
    X11Probe::xdotool({"key", "Next"});
    QTRY_COMPARE_WITH_TIMEOUT(m_f.selectedRow(), 1, 5000);
    // Navigating leaves fullscreen; the window is as it was.
    QTRY_VERIFY_WITH_TIMEOUT(!player->isFullScreen(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(player->url(), QUrl(m_f.server->baseUrl() + "/tv/02.htm"), 10000);
    QCOMPARE(m_f.window->geometry(), before);
    QVERIFY(m_f.window->isVisible());
    QVERIFY(waitPlaying());

    // Esc leaves fullscreen as well.
    X11Probe::clickAt(player, QPoint(208, 200), 1, 2);
    QTRY_VERIFY_WITH_TIMEOUT(player->isFullScreen(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(player->isActiveWindow(), 5000);
    X11Probe::xdotool({"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(!player->isFullScreen(), 10000);
    QCOMPARE(player->page(), static_cast<QWebEnginePage *>(player->silentPage()));
    QCOMPARE(player->parentWidget(), m_f.window->form()->playerFrame);
    QCOMPARE(player->geometry(), QRect(0, -64, 417, 377));
    QCOMPARE(m_f.window->geometry(), before);
    QVERIFY(waitPlaying());
}

void tst_Playback::noContextMenuInPlayer()
{
    auto menuShown = [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu *>(w) && w->isVisible())
                return true;
        return false;
    };
    m_f.window->guide()->loadList(QStringLiteral("一台;%1\r\n").arg(m_f.channelUrl(0)));
    QSignalSpy playerLoaded(playerPage(), &QWebEnginePage::loadFinished);
    m_f.window->form()->watchButton->click();
    // Loaded, or a click before the renderer is there would pass unseen.
    QTRY_VERIFY_WITH_TIMEOUT(
        !playerLoaded.isEmpty() && playerPage()->url() == QUrl(m_f.channelUrl(0)), 10000);
    // The renderer takes input a moment after the load; no signal says when.
    QTest::qWait(300);
    X11Probe::clickAt(m_f.window->form()->player, QPoint(100, 150), 3);
    QVERIFY(!QTest::qWaitFor(menuShown, 800));

    // The notice view keeps the engine's menu.
    m_f.window->form()->tabs->setCurrentIndex(2);
    QWebEngineView *notices = m_f.window->form()->noticeView;
    QSignalSpy noticeLoaded(notices->page(), &QWebEnginePage::loadFinished);
    notices->load(QUrl(m_f.server->baseUrl() + "/msg.htm"));
    QVERIFY(noticeLoaded.wait(10000));
    QTest::qWait(300); // as above
    X11Probe::clickAt(notices, QPoint(100, 150), 3);
    QTRY_VERIFY_WITH_TIMEOUT(menuShown(), 5000);
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(w) && w->isVisible())
            w->close();
}

QTEST_MAIN(tst_Playback)
#include "tst_playback.moc"
