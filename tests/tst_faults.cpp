// What the user does while the network is still busy.

#include "guide/channelmodel.h"
#include "viewerfixture.h"

#include <QGroupBox>
#include <QtTest>

using namespace std::chrono_literals;

class tst_Faults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void refreshPressedRepeatedly();
    void closeWhileVersionCheckWaits_data();
    void closeWhileVersionCheckWaits();

private:
    // Names and URLs row for row, count and caption agreeing.
    void verifyConsistent(int expected);

    ViewerFixture m_f;
};

void tst_Faults::init()
{
    QVERIFY(m_f.setUp(5));
}

void tst_Faults::cleanup()
{
    m_f.tearDown();
}

void tst_Faults::verifyConsistent(int expected)
{
    const QAbstractItemModel *model = m_f.channelList()->model();
    QCOMPARE(model->rowCount(), expected);
    for (int i = 0; i < expected; ++i) {
        QCOMPARE(model->index(i, 0).data().toString(), QStringLiteral("频道%1").arg(i));
        QCOMPARE(model->index(i, 0).data(ChannelModel::UrlRole).toString(), m_f.channelUrl(i));
    }
    QCOMPARE(m_f.part<QGroupBox>("channelFrame")->title(),
        QStringLiteral("电视节目表单 %1").arg(expected));
}

void tst_Faults::refreshPressedRepeatedly()
{
    VendorServer::Response list;
    list.contentType = "text/plain; charset=utf-8";
    for (int i = 0; i < 5; ++i)
        list.body += QStringLiteral("频道%1;%2\r\n").arg(i).arg(m_f.channelUrl(i)).toUtf8();
    list.delayMs = 300;
    m_f.server->setRoute("/zavo/list.txt", list);
    QAction *refresh = m_f.part<QAction>("refreshAction");
    const QAbstractItemModel *model = m_f.channelList()->model();
    const auto grown = [model] { return model->rowCount() != 5; };

    // Pressed faster than the list arrives, then once more after it came.
    // Each press empties the list, so five rows can only be the last load's.
    for (int i = 0; i < 8; ++i) {
        refresh->trigger();
        QTest::qWait(40 + 30 * (i % 3));
    }
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 5, 15000);
    // Late answers for the abandoned loads must not add to the list.
    QVERIFY(!QTest::qWaitFor(grown, 1500));
    verifyConsistent(5);
    refresh->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 5, 15000);
    QVERIFY(!QTest::qWaitFor(grown, 800));
    verifyConsistent(5);
}

void tst_Faults::closeWhileVersionCheckWaits_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("Cancel") << false;
    QTest::newRow("OK") << true;
}

void tst_Faults::closeWhileVersionCheckWaits()
{
    QFETCH(bool, quit);
    int ended = 0;
    QVERIFY(m_f.setUp(0, true, [&](ViewerOptions &o) {
        o.versionWait = 2s;
        o.endProgram = [&] {
            ++ended;
            m_f.window->deleteLater();
            m_f.window = nullptr;
        };
    }));
    VendorServer::Response stalled;
    stalled.neverAnswer = true;
    m_f.server->setRoute("/version/zavo.txt", stalled);
    m_f.prompts->answers = {quit ? Answer::Ok : Answer::Cancel};

    // The window is up (the list shows it) while the check has only begun to
    // wait; the user closes it.
    QPointer<MainWindow> window = m_f.window;
    connect(m_f.window, &MainWindow::startupStep, m_f.window, [&](MainWindow::Step step) {
        if (step != MainWindow::Step::ListRequested)
            return;
        m_f.window->show();
        QTimer::singleShot(0, m_f.window, &QWidget::close);
    });
    QSignalSpy steps(m_f.window, &MainWindow::startupStep);
    m_f.window->start();
    const QString quitText = QStringLiteral("您确定要退出程序吗?");
    if (quit) {
        QTRY_VERIFY(!window);
        // At once: the check was not waited out, and went with the window,
        // so nothing can be asked after.
        QCOMPARE(ended, 1);
        QCOMPARE(steps.last().first().value<MainWindow::Step>(), MainWindow::Step::ListRequested);
        QCOMPARE(m_f.prompts->texts(), QStringList {quitText});
        return;
    }
    // The check ends in its own time and reports the network.
    QTRY_COMPARE_WITH_TIMEOUT(
        steps.last().first().value<MainWindow::Step>(), MainWindow::Step::VersionChecked, 10000);
    QCOMPARE(m_f.prompts->texts(),
        (QStringList {quitText, QStringLiteral("您所处的网络环境不稳定,无法正常体验。")}));
    QCOMPARE(ended, 0);
    QVERIFY(m_f.window->isVisible());
}

VIEWER_TEST_MAIN(tst_Faults)
#include "tst_faults.moc"
