// The tab control's strip: three tabs in one row across the top, 295 twips
// high as the window design gives it, not the height the style would choose.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "testsupport.h"
#include "vendorserver.h"
#include "viewerfixture.h"

#include <QLabel>
#include <QTabBar>
#include <QtTest>

class tst_TabControl : public QObject {
    Q_OBJECT
private slots:
    void strip_data();
    void strip();
};

void tst_TabControl::strip_data()
{
    QTest::addColumn<bool>("inViewer");
    QTest::newRow("the viewer's tabs") << true;
    QTest::newRow("a control on its own") << false;
}

void tst_TabControl::strip()
{
    QFETCH(bool, inViewer);

    ViewerFixture viewer;
    std::unique_ptr<TabControl> own;
    TabControl *tabs = nullptr;
    if (inViewer) {
        QVERIFY(viewer.setUp());
        QVERIFY(viewer.show());
        tabs = viewer.part<TabControl>("tabs");
    } else {
        own = std::make_unique<TabControl>();
        for (const char *caption : {"关于程序", "程序界面", "信息公告"})
            own->addPage(
                new QLabel(QString::fromUtf8(caption), own.get()), QString::fromUtf8(caption));
        own->resize(433, 480);
        own->show();
        QVERIFY(QTest::qWaitForWindowExposed(own.get()));
        tabs = own.get();
    }

    // 295 twips at 15 twips a pixel.
    const int designHeight = qRound(295 / 15.0);
    QTabBar *bar = tabs->tabBar();
    QCOMPARE(bar->count(), 3);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->pos(), QPoint(0, 0));
    QCOMPARE(bar->height(), designHeight);
    QCOMPARE(bar->sizeHint().height(), designHeight);
    int right = 0;
    for (int i = 0; i < bar->count(); ++i) {
        const QRect tab = bar->tabRect(i);
        QCOMPARE(tab.height(), designHeight);
        QCOMPARE(tab.top(), 0);
        // One row, left to right, each wide enough for its caption.
        QCOMPARE(tab.left(), right);
        QVERIFY(tab.width() > bar->fontMetrics().horizontalAdvance(bar->tabText(i)));
        right = tab.right() + 1;
    }
    QVERIFY(right <= tabs->width());
    // No control on a page starts higher than Top 360 twips (24 px): the
    // strip ends above them.
    QVERIFY(bar->geometry().bottom() < 360 / 15);
}

VIEWER_TEST_MAIN(tst_TabControl)
#include "tst_tabcontrol.moc"
