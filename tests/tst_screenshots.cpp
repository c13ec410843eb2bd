// Starts the viewer against the bundled vendor site, plays a channel and
// photographs each tab from the X server, as a user would see them. The
// pictures land in <build>/screenshots; scripts/update-screenshots copies
// them into docs/ for the README.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "webview/playerview.h"

#include <QDir>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QtTest>

class tst_Screenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void tab_data();
    void tab();

private:
    static void settle(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    double videoTime();

    VendorServer *m_server = nullptr;
    MainWindow *m_w = nullptr;
    std::shared_ptr<MemoryStartPage> m_store;
};

double tst_Screenshots::videoTime()
{
    double t = -1;
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    m_w->form()->player->page()->runJavaScript(
        "(function(){var v=document.getElementById('tv');return v&&!v.paused?v.currentTime:-1;})()",
        [&](const QVariant &v) {
            t = v.toDouble();
            loop.quit();
        });
    loop.exec();
    return t;
}

void tst_Screenshots::initTestCase()
{
    if (!QFile::exists(QStringLiteral(SITE_DIR "/media/01.mp4")))
        QSKIP("demo media not generated (site/setup.sh)");
    installChineseTranslations();
    m_server = new VendorServer(this);
    serveSite(m_server);
    QVERIFY(m_server->listen());
    m_w = newViewer(m_server, m_store);
    QVERIFY(startAndFinish(m_w));
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    QTRY_COMPARE_WITH_TIMEOUT(m_w->guide()->channelCount(), 12, 20000);

    m_w->form()->tabs->setTab(1);
    QListView *list = m_w->form()->channelList;
    list->setCurrentIndex(list->model()->index(0, 0));
    m_w->form()->watchButton->click();
    QDeadlineTimer deadline(20000);
    while (videoTime() < 1.5 && !deadline.hasExpired())
        settle(200);
    QVERIFY2(!deadline.hasExpired(), "the demo channel did not play");
    QVERIFY(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));
}

void tst_Screenshots::cleanupTestCase()
{
    delete m_w;
    delete m_server;
}

void tst_Screenshots::tab_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("file");
    QTest::newRow("about") << 0 << "about.png";
    QTest::newRow("program") << 1 << "program.png";
    QTest::newRow("notices") << 2 << "notices.png";
}

void tst_Screenshots::tab()
{
    QFETCH(int, index);
    QFETCH(QString, file);
    m_w->form()->tabs->setTab(index);
    m_w->activateWindow();
    settle(1200);

    // From the X server, so web content is in the picture as it was on screen.
    const QRect frame = m_w->frameGeometry();
    const QImage shot = m_w->screen()
                            ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                            .toImage();
    QCOMPARE(shot.size(), frame.size());
    // The tab's content region holds a real picture, not a blank page.
    const QRect content(m_w->geometry().topLeft() - frame.topLeft(), m_w->size());
    QSet<QRgb> colours;
    for (int y = content.top(); y < content.bottom(); y += 3)
        for (int x = content.left(); x < content.right(); x += 3)
            colours.insert(shot.pixel(x, y));
    QVERIFY2(colours.size() > 40, qPrintable(QString::number(colours.size())));
    QVERIFY(shot.save(QStringLiteral(SCREENSHOT_DIR "/") + file));
}

QTEST_MAIN(tst_Screenshots)
#include "tst_screenshots.moc"
