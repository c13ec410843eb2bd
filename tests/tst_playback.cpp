// Picking channels in the window and watching them, against our own server
// and the bundled demo channels. The stepping rules are tst_channelguide's.

#include "app/tabcontrol.h"
#include "pageprobe.h"
#include "soundprobe.h"
#include "viewerfixture.h"
#include "x11probe.h"

#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QWebEngineView>
#include <QtTest>

class tst_Playback : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pickAndPlay();
    void pageKeysStep();
    void typeToFind();
    void fragmentStepsStayAudible_data();
    void fragmentStepsStayAudible();
    void realPlayback_data();
    void realPlayback();
    void switchingSilencesAtOnce();
    void toneIsHeardUntilStopped();
    void fullScreenAndBack_data();
    void fullScreenAndBack();
    void noContextMenuInPlayer();

private:
    void fill(int channels) { m_f.guide()->loadList(listOf(channels)); }
    QString listOf(int channels) const;
    void click(const char *button) { m_f.button(button)->click(); }
    QListView *list() const { return m_f.channelList(); }
    void selectRow(int row) { list()->setCurrentIndex(list()->model()->index(row, 0)); }
    QPoint rowAt(int row) const
    {
        return list()->visualRect(list()->model()->index(row, 0)).center();
    }
    QWebEnginePage *playerPage() const { return m_player->page(); }
    QVariant js(const QString &script) { return PageProbe::run(playerPage(), script); }
    bool waitPlaying() { return PageProbe::waitPlaying(playerPage()); }

    ViewerFixture m_f;
    // Kept, as the window no longer holds it while it shows fullscreen.
    PlayerView *m_player = nullptr;
};

void tst_Playback::init()
{
    QVERIFY(m_f.setUp(6));
    m_player = m_f.player();
    m_f.part<TabControl>("tabs")->setCurrentIndex(1);
    QVERIFY(m_f.show());
}

void tst_Playback::cleanup()
{
    m_f.tearDown();
}

QString tst_Playback::listOf(int channels) const
{
    QString text;
    for (int i = 0; i < channels; ++i)
        text += QStringLiteral("频道%1;%2\r\n").arg(i).arg(m_f.channelUrl(i));
    return text;
}

void tst_Playback::pickAndPlay()
{
    VendorServer::Response body;
    body.contentType = "text/plain; charset=utf-8";
    body.body = listOf(3).toUtf8();
    m_f.server->setRoute("/zavo/list.txt", body);
    QSignalSpy loaded(m_f.guide(), &ChannelGuide::listLoaded);
    m_f.part<QAction>("refreshAction")->trigger();
    QVERIFY(loaded.wait(20000));
    QCOMPARE(list()->model()->rowCount(), 3);

    // A click or an arrow key only selects.
    QSignalSpy shown(m_f.guide(), &ChannelGuide::showRequested);
    list()->setFocus();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowAt(2));
    QTest::keyClick(list(), Qt::Key_Up);
    QCOMPARE(m_f.selectedRow(), 1);
    QVERIFY(shown.isEmpty());

    // A double-click plays the name, and so does Enter.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowAt(0));
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, rowAt(0));
    QTRY_COMPARE_WITH_TIMEOUT(playerPage()->url(), QUrl(m_f.channelUrl(0)), 10000);
    QTest::keyClick(list(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(playerPage()->url(), QUrl(m_f.channelUrl(1)), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!playerPage()->isAudioMuted(), 10000);
}

void tst_Playback::pageKeysStep()
{
    fill(4);
    m_f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_f.window));
    // Wherever the focus is.
    QPushButton *watch = m_f.button("watchButton");
    watch->setFocus();
    selectRow(1);
    QTest::keyClick(watch, Qt::Key_PageDown);
    QTest::keyClick(watch, Qt::Key_PageDown);
    QTest::keyClick(watch, Qt::Key_PageUp);
    QCOMPARE(m_f.selectedRow(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(playerPage()->url(), QUrl(m_f.channelUrl(2)), 10000);
    // Not while another page is in front.
    m_f.part<TabControl>("tabs")->setCurrentIndex(0);
    QTest::keyClick(m_f.window, Qt::Key_PageDown);
    QCOMPARE(m_f.selectedRow(), 2);
}

// Typing pinyin into the list, as a person types it, through the X server.
void tst_Playback::typeToFind()
{
    const QStringList names {"CCTV-1综合", "湖北卫视", "湖南卫视", "CCTV-5体育", "重庆卫视"};
    QString text;
    for (int i = 0; i < names.size(); ++i)
        text += QStringLiteral("%1;%2\r\n").arg(names[i], m_f.channelUrl(i));
    m_f.guide()->loadList(text);
    auto *typed = m_f.part<QLabel>("typedText");
    m_f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_f.window));
    list()->setFocus();
    QSignalSpy shown(m_f.guide(), &ChannelGuide::showRequested);

    X11Probe::xdotool({"type", "--delay", "40", "hnws"});
    QTRY_COMPARE(m_f.selectedRow(), 2);
    QVERIFY(typed->isVisible());
    QCOMPARE(typed->text(), "hnws");
    X11Probe::xdotool({"key", "BackSpace"});
    QTRY_COMPARE(typed->text(), "hnw");
    QVERIFY(shown.isEmpty());
    // Enter plays what typing found, and the typing is over.
    X11Probe::xdotool({"key", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(playerPage()->url(), QUrl(m_f.channelUrl(2)), 10000);
    QVERIFY(!typed->isVisible());

    X11Probe::xdotool({"type", "--delay", "40", "cctv5"});
    QTRY_COMPARE(m_f.selectedRow(), 3);
    // A pause ends the typing: the next key starts afresh.
    QTRY_VERIFY(!typed->isVisible());
    X11Probe::xdotool({"type", "--delay", "40", "zq"});
    QTRY_COMPARE(m_f.selectedRow(), 4);
    X11Probe::xdotool({"key", "Escape"});
    QTRY_VERIFY(!typed->isVisible());
    QCOMPARE(m_f.selectedRow(), 4);
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
    m_f.guide()->loadList(text);
    QWebEnginePage *player = playerPage();
    for (const QString &press : presses) {
        click(qPrintable(press));
        const QUrl picked(m_f.server->baseUrl() + addresses[m_f.selectedRow()]);
        QTRY_COMPARE_WITH_TIMEOUT(player->url(), picked, 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(!player->isAudioMuted(), qPrintable(press), 10000);
    }
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
    QSignalSpy loaded(m_f.guide(), &ChannelGuide::listLoaded);
    m_f.part<QAction>("refreshAction")->trigger();
    QVERIFY(loaded.wait(20000));
    selectRow(channel - 1);
    click("watchButton");
    QVERIFY(waitPlaying());
    const QVariantList a = js("(function(){var v=document.getElementById('tv');"
                              "return [v.currentTime,v.muted,v.volume];})()")
                               .toList();
    QVERIFY2(PageProbe::waitPlaying(playerPage(), a[0].toDouble() + 0.2, 5000),
        "the video is not advancing");
    QCOMPARE(a[1].toBool(), false);
    QVERIFY(a[2].toDouble() > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!playerPage()->isAudioMuted(), 10000);
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
    m_f.guide()->loadList(
        QStringLiteral("一台;%1/tv/01.htm\r\n慢台;%1/slow\r\n").arg(m_f.server->baseUrl()));
    click("watchButton");
    QVERIFY(waitPlaying());
    QWebEnginePage *page = playerPage();
    click("nextButton");
    QVERIFY(page->isAudioMuted());
    QTRY_COMPARE_WITH_TIMEOUT(page->url(), QUrl(m_f.server->baseUrl() + "/slow"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!page->isAudioMuted(), 10000);

    click("previousButton");
    QVERIFY(waitPlaying());
    click("stopButton");
    QVERIFY(page->isAudioMuted());
    QTRY_COMPARE_WITH_TIMEOUT(page->url(), QUrl(m_f.server->baseUrl() + "/zavomsg.htm"), 10000);
    // The stop page holds no playing media.
    QTRY_COMPARE_WITH_TIMEOUT(
        js("Array.from(document.querySelectorAll('video,audio')).filter(m=>!m.paused).length")
            .toInt(),
        0, 10000);
}

void tst_Playback::toneIsHeardUntilStopped()
{
    if (!QFile::exists(QStringLiteral(SITE_DIR "/media/01.mp4")))
        QSKIP("demo media not generated (site/setup.sh)");
    if (const QString why = SoundProbe::unavailable(); !why.isEmpty())
        QSKIP(qPrintable(why));
    // Channel 1 carries a 440 Hz sine at an eighth of full scale, far above 0.03.
    m_f.guide()->loadList(QStringLiteral("一台;%1/tv/01.htm\r\n").arg(m_f.server->baseUrl()));
    click("watchButton");
    QVERIFY(waitPlaying());
    const int frames = PageProbe::framesPresented(playerPage());
    double level = -1;
    QVERIFY2(SoundProbe::waitFor([](double l) { return l > 0.03; }, 20000, 300, &level),
        qPrintable(QStringLiteral("level %1").arg(level)));
    QVERIFY(PageProbe::framesPresented(playerPage()) > frames);
    click("stopButton");
    QVERIFY2(SoundProbe::waitFor([](double l) { return l < 0.001; }, 10000, 300, &level),
        qPrintable(QStringLiteral("level %1 after stopping").arg(level)));
}

void tst_Playback::fullScreenAndBack_data()
{
    QTest::addColumn<QString>("focused"); // the control with the keyboard before
    QTest::addColumn<int>("steps"); // Page Down presses in fullscreen
    QTest::addColumn<QString>("wayOut"); // "Escape" or the page's own double-click

    QTest::newRow("Esc") << "channelList" << 0 << "Escape";
    QTest::newRow("the page's own exit") << "watchButton" << 0 << "dblclick";
    QTest::newRow("zapping stays fullscreen, then Esc") << "nextButton" << 2 << "Escape";
}

void tst_Playback::fullScreenAndBack()
{
    QFETCH(QString, focused);
    QFETCH(int, steps);
    QFETCH(QString, wayOut);
    if (!QFile::exists(QStringLiteral(SITE_DIR "/media/01.mp4")))
        QSKIP("demo media not generated (site/setup.sh)");
    m_f.guide()->loadList(
        QStringLiteral("一台;%1/tv/01.htm\r\n二台;%1/tv/02.htm\r\n三台;%1/tv/04.htm\r\n")
            .arg(m_f.server->baseUrl()));
    click("watchButton");
    QVERIFY(waitPlaying());
    const QRect before = m_f.window->geometry();
    PlayerView *player = m_player;
    QWidget *frame = player->parentWidget();
    const QRect home = player->geometry();
    m_f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_f.window));
    auto *control = m_f.part<QWidget>(qPrintable(focused));
    control->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), control);

    X11Probe::clickAt(player, QPoint(208, 200), 1, 2);
    QTRY_VERIFY_WITH_TIMEOUT(player->isFullScreen(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        player->isWindow() && player->windowState() & Qt::WindowFullScreen, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(
        js("document.fullscreenElement ? document.fullscreenElement.id : ''").toString(), "tv",
        5000);
    QTRY_VERIFY_WITH_TIMEOUT(player->isActiveWindow(), 5000);

    // Page Down steps the channel and the player stays on the whole screen.
    for (int i = 1; i <= steps; ++i) {
        X11Probe::xdotool({"key", "Next"});
        QTRY_COMPARE_WITH_TIMEOUT(m_f.selectedRow(), i, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(
            player->url().path(), i == 1 ? "/tv/02.htm" : "/tv/04.htm", 10000);
        QVERIFY(waitPlaying());
        QVERIFY(player->isFullScreen());
        QCOMPARE(player->geometry(), player->screen()->geometry());
        QVERIFY(player->isActiveWindow());
    }

    if (wayOut == "Escape")
        X11Probe::xdotool({"key", "Escape"});
    else
        X11Probe::clickAt(player, QPoint(208, 200), 1, 2);
    QTRY_VERIFY_WITH_TIMEOUT(!player->isFullScreen(), 10000);
    QCOMPARE(player->parentWidget(), frame);
    QCOMPARE(player->geometry(), home);
    QCOMPARE(m_f.window->geometry(), before);
    QVERIFY(waitPlaying());

    // The keyboard is back where it was, and Tab goes on from there.
    QTRY_VERIFY_WITH_TIMEOUT(m_f.window->isActiveWindow(), 5000);
    QTRY_COMPARE(QApplication::focusWidget(), control);
    X11Probe::xdotool({"key", "Tab"});
    QTRY_VERIFY(QApplication::focusWidget() != control);
    QWidget *next = QApplication::focusWidget();
    QVERIFY(next && next->window() == m_f.window && next != player && !player->isAncestorOf(next));
}

void tst_Playback::noContextMenuInPlayer()
{
    auto menuShown = [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu *>(w) && w->isVisible())
                return true;
        return false;
    };
    // The renderer takes input a while after the load, and no signal says
    // when: right-clicks until the page, or the menu, shows one arrived.
    auto rightClickUntil = [](QWidget *view, const std::function<bool()> &seen) {
        return QTest::qWaitFor([&] {
            X11Probe::clickAt(view, QPoint(100, 150), 3);
            return QTest::qWaitFor(seen, 1000);
        });
    };
    VendorServer::Response page;
    page.contentType = "text/html";
    page.body = "<script>addEventListener('contextmenu', () => document.title = 'menu')</script>";
    m_f.server->setRoute("/menu", page);
    m_f.guide()->loadList(QStringLiteral("一台;%1/menu\r\n").arg(m_f.server->baseUrl()));
    click("watchButton");
    QVERIFY(rightClickUntil(m_player, [&] { return playerPage()->title() == "menu"; }));
    QVERIFY(!QTest::qWaitFor(menuShown, 800));

    // The notice view keeps the engine's menu.
    m_f.part<TabControl>("tabs")->setCurrentIndex(2);
    auto *notices = m_f.part<QWebEngineView>("noticeView");
    notices->load(QUrl(m_f.server->baseUrl() + "/msg.htm"));
    QVERIFY(rightClickUntil(notices, menuShown));
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(w) && w->isVisible())
            w->close();
}

VIEWER_TEST_MAIN(tst_Playback)
#include "tst_playback.moc"
