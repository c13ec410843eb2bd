// Where the window goes at start-up, without a display.

#include "app/windowbehaviour.h"

#include <QTest>

class tst_Placement : public QObject {
    Q_OBJECT
private slots:
    void centred_data();
    void centred();
};

void tst_Placement::centred_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("available"); // the screen less its task bars
    QTest::addColumn<QSize>("outer"); // frame and title bar included
    QTest::addColumn<QPoint>("position");

    const QRect fullHd(0, 0, 1920, 1080);
    QTest::newRow("fits: centred on the whole screen")
        << fullHd << QRect(0, 0, 1920, 1040) << QSize(441, 530) << QPoint(740, 275);
    QTest::newRow("no task bar") << fullHd << fullHd << QSize(440, 530) << QPoint(740, 275);
    // 1366x768 at 150 %: 911x512 logical, a 30-pixel task bar at the bottom.
    QTest::newRow("taller than the work area: top edge at its top")
        << QRect(0, 0, 911, 512) << QRect(0, 0, 911, 482) << QSize(441, 530) << QPoint(235, 0);
    QTest::newRow("task bar at the top, taller: below it")
        << QRect(0, 0, 911, 512) << QRect(0, 40, 911, 472) << QSize(441, 530) << QPoint(235, 40);
    QTest::newRow("fits, but centring reaches under the bottom task bar: moved up")
        << QRect(0, 0, 1024, 600) << QRect(0, 0, 1024, 540) << QSize(441, 530) << QPoint(292, 10);
    QTest::newRow("fits, but centring reaches under the top task bar: moved down")
        << QRect(0, 0, 1024, 600) << QRect(0, 60, 1024, 540) << QSize(441, 530) << QPoint(292, 60);
    QTest::newRow("task bar at the left: moved right")
        << QRect(0, 0, 600, 800) << QRect(100, 0, 500, 800) << QSize(441, 530) << QPoint(100, 135);
    QTest::newRow("narrower than the work area: left edge at its left")
        << QRect(0, 0, 400, 800) << QRect(20, 0, 380, 800) << QSize(441, 530) << QPoint(20, 135);
    QTest::newRow("second screen to the right")
        << QRect(1920, 0, 1366, 768) << QRect(1920, 0, 1366, 728) << QSize(441, 530)
        << QPoint(2383, 119);
}

void tst_Placement::centred()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, available);
    QFETCH(QSize, outer);
    QFETCH(QPoint, position);
    QCOMPARE(centredPosition(screen, available, outer), position);
}

QTEST_GUILESS_MAIN(tst_Placement)
#include "tst_placement.moc"
