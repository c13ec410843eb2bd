// Channel selection and playback, against our own server and the bundled
// demo channels.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "webview/playerview.h"
#include "webview/silentpage.h"

#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QWebEngineView>
#include <QtTest>

class tst_Playback : public QObject
{
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
    // A real pointer click through the X server, as a user makes it: the
    // engine takes synthetic Qt events for no user gesture.
    static void xclick(QWidget *w, QPoint at, int button)
    {
        const QPoint g = w->mapToGlobal(at);
        QProcess::execute("xdotool", {"mousemove", "--sync", QString::number(g.x()),
                                      QString::number(g.y()), "click", QString::number(button)});
    }
    // The video's own controls take a double-click as the fullscreen button.
    static void xdoubleclick(QWidget *w, QPoint at)
    {
        const QPoint g = w->mapToGlobal(at);
        QProcess::execute("xdotool", {"mousemove", "--sync", QString::number(g.x()),
                                      QString::number(g.y()), "click", "--repeat", "2",
                                      "--delay", "80", "1"});
    }
    void fill(int channels);
    QString channelUrl(int i) const
    {
        return m_server->baseUrl() + QStringLiteral("/ch/%1").arg(i);
    }
    int requestsFor(const QByteArray &path) const;
    QListView *list() const { return m_w->form()->channelList; }
    // The current channel: the list's selected row, -1 when none is.
    int selectedRow() const;
    // As a click on the name does.
    void selectRow(int row) { list()->setCurrentIndex(list()->model()->index(row, 0)); }
    QVariant js(const QString &script);
    bool waitPlaying(int timeoutMs);

    VendorServer *m_server = nullptr;
    MainWindow *m_w = nullptr;
    std::shared_ptr<MemoryStartPage> m_store;
};

void tst_Playback::initTestCase()
{
    installChineseTranslations();
}

void tst_Playback::init()
{
    m_server = new VendorServer(this);
    serveSite(m_server);
    VendorServer::Response page;
    page.contentType = "text/html; charset=utf-8";
    page.body = "<html><body>channel</body></html>";
    for (int i = 0; i < 6; ++i)
        m_server->setRoute(QStringLiteral("/ch/%1").arg(i), page);
    QVERIFY(m_server->listen());
    m_w = newViewer(m_server, m_store);
    m_w->show();
    m_w->form()->tabs->setTab(1);
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
}

void tst_Playback::cleanup()
{
    delete m_w;
    m_w = nullptr;
    delete m_server;
    m_server = nullptr;
}

void tst_Playback::fill(int channels)
{
    QString text;
    for (int i = 0; i < channels; ++i)
        text += QStringLiteral("频道%1;%2\r\n").arg(i).arg(channelUrl(i));
    if (channels)
        m_w->guide()->loadList(text);
}

int tst_Playback::selectedRow() const
{
    const QModelIndexList rows = list()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int tst_Playback::requestsFor(const QByteArray &path) const
{
    int n = 0;
    for (const auto &r : m_server->requests())
        n += r.path == path;
    return n;
}

// Waits in a real event loop: the engine's UI-side work runs on this thread
// and polling with QTest's sleeping waits starves MSE players.
QVariant tst_Playback::js(const QString &script)
{
    QVariant result;
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    m_w->form()->player->silentPage()->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        loop.quit();
    });
    loop.exec();
    return result;
}

bool tst_Playback::waitPlaying(int timeoutMs)
{
    const QString probe = QStringLiteral(
        "(function(){var v=document.getElementById('tv');"
        "return v?[v.paused,v.currentTime,v.muted,v.readyState,"
        "v.error?v.error.message||v.error.code:'']:null;})()");
    QDeadlineTimer deadline(timeoutMs);
    QString state;
    while (!deadline.hasExpired()) {
        const QVariantList s = js(probe).toList();
        state = QVariant(s).toStringList().join(QLatin1Char(' '));
        if (s.size() == 5 && !s[0].toBool() && s[1].toDouble() > 0.3)
            return true;
        QEventLoop pause;
        QTimer::singleShot(200, &pause, &QEventLoop::quit);
        pause.exec();
    }
    qWarning() << "video (paused time muted readyState error):" << state;
    return false;
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
    m_w->findChild<QPushButton *>(button)->click();
    QCOMPARE(selectedRow(), expected);
    // The list moves with it, as a click there would.
    QCOMPARE(list()->currentIndex().row(), expected);
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(expected)), 10000);
}

void tst_Playback::everyPlayLoadsAgain()
{
    fill(1);
    QSignalSpy finished(m_w->form()->player->page(), &QWebEnginePage::loadFinished);
    for (int i = 1; i <= 3; ++i) {
        i == 2 ? m_w->form()->nextButton->click() : m_w->form()->watchButton->click();
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
    QSignalSpy started(m_w->form()->player->page(), &QWebEnginePage::loadStarted);
    m_w->findChild<QPushButton *>(button)->click();
    QCOMPARE(selectedRow(), -1);
    QVERIFY(!started.wait(200));
    QCOMPARE(m_w->form()->player->page()->requestedUrl(), QUrl());
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
    m_w->guide()->loadList(QStringLiteral("坏频道;") + url + QStringLiteral("\r\n好频道;")
                             + channelUrl(1));
    QCOMPARE(m_w->guide()->channelCount(), 2);
    QSignalSpy started(m_w->form()->player->page(), &QWebEnginePage::loadStarted);
    m_w->form()->watchButton->click();
    QCOMPARE(selectedRow(), 0);
    QVERIFY(!started.wait(300));
    QCOMPARE(m_w->form()->player->page()->requestedUrl(), QUrl());
    // The next channel still plays.
    m_w->form()->nextButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(1)), 10000);
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
    m_w->guide()->loadList(QStringLiteral("一台;%1\r\n二台;%2%3\r\n")
                                 .arg(channelUrl(1), channelUrl(2), suffix));
    m_w->form()->watchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(requestsFor("/ch/1"), 1, 10000);
    // Channel + goes to the address with the odd characters, not nowhere.
    m_w->form()->nextButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(requestsFor("/ch/2"), 1, 10000);
    for (const auto &r : m_server->requests()) {
        if (r.path == "/ch/2")
            QCOMPARE(r.query, query);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->page()->url().path(),
                              QStringLiteral("/ch/2"), 10000);
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
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    // Back-tab into the list from Watch: Qt makes the first row current,
    // selecting nothing.
    m_w->form()->watchButton->setFocus();
    QTest::keyClick(m_w->form()->watchButton, Qt::Key_Backtab);
    QTRY_VERIFY(list()->hasFocus());
    QCOMPARE(list()->currentIndex().row(), 0);
    QVERIFY(list()->selectionModel()->selectedIndexes().isEmpty());
    m_w->findChild<QPushButton *>(button)->click();
    QCOMPARE(list()->currentIndex().row(), played);
    QCOMPARE(list()->selectionModel()->selectedIndexes().size(), 1);
    QCOMPARE(selectedRow(), played);
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(played)), 10000);
}

void tst_Playback::fragmentStepsStayAudible_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("presses");
    QTest::newRow("another fragment") << QStringList {"/player#one", "/player#two"}
                                      << QStringList {"watchButton", "nextButton", "nextButton", "previousButton"};
    QTest::newRow("the same fragment again") << QStringList {"/player#one", "/player#one"}
                                             << QStringList {"watchButton", "nextButton", "watchButton"};
    QTest::newRow("fragment to none and back") << QStringList {"/player#one", "/player"}
                                               << QStringList {"watchButton", "nextButton", "nextButton"};
    QTest::newRow("fragment of another page") << QStringList {"/player#one", "/other#one"}
                                              << QStringList {"watchButton", "nextButton", "nextButton"};
}

void tst_Playback::fragmentStepsStayAudible()
{
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, presses);
    VendorServer::Response page;
    page.contentType = "text/html; charset=utf-8";
    page.body = "<html><body>one player page for every channel</body></html>";
    m_server->setRoute("/player", page);
    m_server->setRoute("/other", page);
    QString text;
    for (int i = 0; i < addresses.size(); ++i)
        text += QStringLiteral("台%1;%2%3\r\n").arg(i).arg(m_server->baseUrl(), addresses[i]);
    m_w->guide()->loadList(text);
    QWebEnginePage *player = m_w->form()->player->page();
    for (const QString &press : presses) {
        m_w->findChild<QPushButton *>(press)->click();
        const QUrl picked(m_server->baseUrl() + addresses[selectedRow()]);
        QTRY_COMPARE_WITH_TIMEOUT(player->url(), picked, 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(!player->isAudioMuted(), qPrintable(press), 10000);
    }
}

void tst_Playback::selectingOnlySelects()
{
    fill(3);
    QSignalSpy started(m_w->form()->player->page(), &QWebEnginePage::loadStarted);
    list()->setFocus();
    selectRow(0);
    QTest::keyClick(list(), Qt::Key_Down);
    QCOMPARE(selectedRow(), 1);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                      list()->visualRect(list()->model()->index(2, 0)).center());
    QCOMPARE(selectedRow(), 2);
    QVERIFY(!started.wait(300));
    QCOMPARE(m_w->form()->player->page()->requestedUrl(), QUrl());
}

void tst_Playback::doubleClickAndEnterPlay()
{
    fill(3);
    const QPoint at = list()->visualRect(list()->model()->index(1, 0)).center();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(1)), 10000);

    list()->setFocus();
    selectRow(2);
    QTest::keyClick(list(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(2)), 10000);
}

void tst_Playback::pageKeysStep()
{
    fill(4);
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    m_w->form()->watchButton->setFocus();
    selectRow(1);
    QTest::keyClick(m_w->form()->watchButton, Qt::Key_PageDown);
    QCOMPARE(selectedRow(), 2);
    QTest::keyClick(m_w->form()->watchButton, Qt::Key_PageUp);
    QTest::keyClick(m_w->form()->watchButton, Qt::Key_PageUp);
    QCOMPARE(selectedRow(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(0)), 10000);
    // Not while another page is in front.
    m_w->form()->tabs->setTab(0);
    QTest::keyClick(m_w, Qt::Key_PageDown);
    QCOMPARE(selectedRow(), 0);
}

void tst_Playback::stopKeepsSelection()
{
    fill(3);
    selectRow(1);
    m_w->form()->watchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(1)), 10000);
    m_w->form()->stopButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(),
                              QUrl(m_server->baseUrl() + "/zavomsg.htm"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 1, 5000);
    m_w->form()->watchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(1)), 10000);
}

void tst_Playback::refreshDropsSelection()
{
    VendorServer::Response newList;
    newList.body = QStringLiteral("新一;%1\r\n新二;%2\r\n").arg(channelUrl(3), channelUrl(4)).toUtf8();
    m_server->setRoute("/zavo/list.txt", newList);
    fill(3);
    selectRow(2);
    QSignalSpy loaded(m_w->guide(), &ChannelGuide::listLoaded);
    m_w->form()->refreshAction->trigger();
    QCOMPARE(selectedRow(), -1);
    // Buttons pressed while the update is under way do nothing.
    m_w->form()->nextButton->click();
    m_w->form()->previousButton->click();
    QCOMPARE(list()->model()->rowCount(), 0);
    QCOMPARE(selectedRow(), -1);
    QVERIFY(loaded.wait(20000));
    m_w->form()->watchButton->click();
    QCOMPARE(selectedRow(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(3)), 10000);
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
    QSignalSpy loaded(m_w->guide(), &ChannelGuide::listLoaded);
    m_w->guide()->refresh();
    QVERIFY(loaded.wait(20000));
    QCOMPARE(m_w->guide()->channelCount(), 12);
    selectRow(channel - 1);
    m_w->form()->watchButton->click();
    QVERIFY(waitPlaying(20000));
    const QVariantList a = js("(function(){var v=document.getElementById('tv');"
                              "return [v.currentTime,v.muted,v.volume];})()")
                               .toList();
    QTest::qWait(600);
    const double later = js("document.getElementById('tv').currentTime").toDouble();
    QVERIFY2(later > a[0].toDouble() + 0.2, "the video is not advancing");
    QCOMPARE(a[1].toBool(), false);
    QVERIFY(a[2].toDouble() > 0);
    QVERIFY(!m_w->form()->player->page()->isAudioMuted());
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
    m_server->setRoute("/slow", slow);
    m_w->guide()->loadList(QStringLiteral("一台;%1/tv/01.htm\r\n慢台;%1/slow\r\n")
                                 .arg(m_server->baseUrl()));
    m_w->form()->watchButton->click();
    QVERIFY(waitPlaying(20000));
    QWebEnginePage *page = m_w->form()->player->page();
    m_w->form()->nextButton->click();
    QVERIFY(page->isAudioMuted());
    QTRY_COMPARE_WITH_TIMEOUT(page->url(), QUrl(m_server->baseUrl() + "/slow"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!page->isAudioMuted(), 10000);

    m_w->form()->previousButton->click();
    QVERIFY(waitPlaying(20000));
    m_w->form()->stopButton->click();
    QVERIFY(page->isAudioMuted());
    QTRY_COMPARE_WITH_TIMEOUT(page->url(), QUrl(m_server->baseUrl() + "/zavomsg.htm"), 10000);
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
    m_w->guide()->loadList(QStringLiteral("一台;%1/tv/01.htm\r\n二台;%1/tv/02.htm\r\n")
                                 .arg(m_server->baseUrl()));
    m_w->form()->watchButton->click();
    QVERIFY(waitPlaying(20000));
    const QRect before = m_w->geometry();
    PlayerView *player = m_w->form()->player;
    QSignalSpy changed(player, &PlayerView::fullScreenChanged);
    m_w->activateWindow();
    xdoubleclick(player, QPoint(208, 200));
    QTRY_VERIFY_WITH_TIMEOUT(player->isFullScreen(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(player->isWindow() && player->windowState() & Qt::WindowFullScreen, 5000);
    QCOMPARE(js("document.fullscreenElement ? document.fullscreenElement.id : ''").toString(), "tv");
    QTRY_VERIFY_WITH_TIMEOUT(player->isActiveWindow(), 5000);

    // Page Down steps the channel from fullscreen too.
    QProcess::execute("xdotool", {"key", "Next"});
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 1, 5000);
    // Navigating leaves fullscreen; the window is as it was.
    QTRY_VERIFY_WITH_TIMEOUT(!player->isFullScreen(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(player->url(), QUrl(m_server->baseUrl() + "/tv/02.htm"), 10000);
    QCOMPARE(m_w->geometry(), before);
    QVERIFY(m_w->isVisible());
    QVERIFY(waitPlaying(20000));

    // Esc leaves fullscreen as well.
    xdoubleclick(player, QPoint(208, 200));
    QTRY_VERIFY_WITH_TIMEOUT(player->isFullScreen(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(player->isActiveWindow(), 5000);
    QProcess::execute("xdotool", {"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(!player->isFullScreen(), 10000);
    QCOMPARE(player->page(), static_cast<QWebEnginePage *>(player->silentPage()));
    QCOMPARE(player->parentWidget(), m_w->form()->playerFrame);
    QCOMPARE(player->geometry(), QRect(0, -64, 417, 377));
    QCOMPARE(m_w->geometry(), before);
    QVERIFY(waitPlaying(20000));
}

void tst_Playback::noContextMenuInPlayer()
{
    auto menuShown = [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu *>(w) && w->isVisible())
                return true;
        return false;
    };
    m_w->guide()->loadList(QStringLiteral("一台;%1\r\n").arg(channelUrl(0)));
    m_w->form()->watchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_w->form()->player->url(), QUrl(channelUrl(0)), 10000);
    QTest::qWait(300);
    xclick(m_w->form()->player, QPoint(100, 150), 3);
    QTest::qWait(800);
    QVERIFY(!menuShown());

    // The notice view keeps the engine's menu.
    m_w->form()->tabs->setTab(2);
    QWebEngineView *notices = m_w->form()->noticeView;
    QSignalSpy noticeLoaded(notices->page(), &QWebEnginePage::loadFinished);
    notices->load(QUrl(m_server->baseUrl() + "/msg.htm"));
    QVERIFY(noticeLoaded.wait(10000));
    QTest::qWait(300);
    xclick(notices, QPoint(100, 150), 3);
    QTRY_VERIFY_WITH_TIMEOUT(menuShown(), 5000);
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(w) && w->isVisible())
            w->close();
}

QTEST_MAIN(tst_Playback)
#include "tst_playback.moc"
