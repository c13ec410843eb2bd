// Starts the viewer against the bundled vendor site, plays a channel and
// photographs each tab from the X server, as a user would see them. The
// pictures land in <build>/screenshots; scripts/update-screenshots copies
// them into docs/ for the README.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "pageprobe.h"
#include "testsupport.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "webview/playerview.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QtTest>

class tst_Screenshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void tab_data();
    void tab();

private:
    ViewerFixture m_f;
};

void tst_Screenshots::initTestCase()
{
    if (!QFile::exists(QStringLiteral(SITE_DIR "/media/01.mp4")))
        QSKIP("demo media not generated (site/setup.sh)");
    QVERIFY(m_f.setUp());
    QVERIFY(startAndFinish(m_f.window));
    QVERIFY(QTest::qWaitForWindowExposed(m_f.window));
    QTRY_COMPARE_WITH_TIMEOUT(m_f.guide()->channelCount(), bundledChannelCount(), 20000);

    m_f.part<TabControl>("tabs")->setCurrentIndex(1);
    QListView *list = m_f.channelList();
    list->setCurrentIndex(list->model()->index(0, 0));
    m_f.button("watchButton")->click();
    QVERIFY2(PageProbe::waitPlaying(m_f.player()->page(), 1.5), "the demo channel did not play");
    QVERIFY(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));
}

void tst_Screenshots::cleanupTestCase()
{
    m_f.tearDown();
}

void tst_Screenshots::tab_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("channel"); // switch to this channel first
    QTest::newRow("about") << 0 << "about.png" << QString();
    QTest::newRow("program") << 1 << "program.png" << QString();
    QTest::newRow("notices") << 2 << "notices.png" << QString();
    QTest::newRow("live stream") << 1 << "live.png" << QStringLiteral("直播一台");
}

void tst_Screenshots::tab()
{
    QFETCH(int, index);
    QFETCH(QString, file);
    QFETCH(QString, channel);
    m_f.part<TabControl>("tabs")->setCurrentIndex(index);
    if (!channel.isEmpty()) {
        QListView *list = m_f.channelList();
        const QModelIndexList rows = list->model()->match(
            list->model()->index(0, 0), Qt::DisplayRole, channel, 1, Qt::MatchExactly);
        QCOMPARE(rows.size(), 1);
        list->setCurrentIndex(rows.first());
        QSignalSpy shown(m_f.player(), &PlayerView::streamShown);
        m_f.button("watchButton")->click();
        // The channel being left plays on until the stream page is up.
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            PageProbe::run(m_f.player()->page(), "document.documentElement.dataset.state || ''"),
            QVariant("playing"), 20000);
        QVERIFY2(
            PageProbe::waitPlaying(m_f.player()->page(), 1.5), "the live channel did not play");
    }
    m_f.window->activateWindow();

    // From the X server, so web content is in the picture as it was on screen.
    // The web views paint in their own time and the compositor reports no
    // frame: photographed until the tab's content region holds a real
    // picture, not a blank page.
    const QRect frame = m_f.window->frameGeometry();
    const QRect content(m_f.window->geometry().topLeft() - frame.topLeft(), m_f.window->size());
    QImage shot;
    QSet<QRgb> colours;
    for (QDeadlineTimer deadline(10000); colours.size() <= 40 && !deadline.hasExpired();) {
        PageProbe::settle(100);
        shot = m_f.window->screen()
                   ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                   .toImage();
        colours.clear();
        for (int y = content.top(); y < content.bottom(); y += 3)
            for (int x = content.left(); x < content.right(); x += 3)
                colours.insert(shot.pixel(x, y));
    }
    QCOMPARE(shot.size(), frame.size());
    QVERIFY2(colours.size() > 40, qPrintable(QString::number(colours.size())));
    QVERIFY(shot.save(QStringLiteral(SCREENSHOT_DIR "/") + file));
}

VIEWER_TEST_MAIN(tst_Screenshots)
#include "tst_screenshots.moc"
