// What the user does while the network is still busy.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "modaldriver.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "webview/playerview.h"

#include <QGroupBox>
#include <QListView>
#include <QPushButton>
#include <QtTest>

class tst_Faults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void refreshPressedRepeatedly();
    void channelKeysDuringRefresh_data();
    void channelKeysDuringRefresh();
    // Ends the program: stays last.
    void closeWhileVersionCheckWaits_data();
    void closeWhileVersionCheckWaits();

private:
    QByteArray listBody(int channels) const;
    // Names and URLs row for row, count and caption agreeing.
    void verifyConsistent(int expected);

    ViewerFixture m_f;
};

void tst_Faults::initTestCase()
{
    installChineseTranslations();
}

void tst_Faults::init()
{
    QVERIFY(m_f.setUp(5));
}

void tst_Faults::cleanup()
{
    m_f.tearDown();
}

QByteArray tst_Faults::listBody(int channels) const
{
    QByteArray body;
    for (int i = 0; i < channels; ++i)
        body += QStringLiteral("频道%1;%2\r\n").arg(i).arg(m_f.channelUrl(i)).toUtf8();
    return body;
}

void tst_Faults::verifyConsistent(int expected)
{
    const Ui::MainWindow *ui = m_f.window->form();
    const QAbstractItemModel *model = ui->channelList->model();
    QCOMPARE(model->rowCount(), expected);
    QCOMPARE(m_f.window->guide()->channelCount(), expected);
    for (int i = 0; i < expected; ++i) {
        QCOMPARE(model->index(i, 0).data().toString(), QStringLiteral("频道%1").arg(i));
        QCOMPARE(model->index(i, 0).data(ChannelModel::UrlRole).toString(), m_f.channelUrl(i));
    }
    QCOMPARE(ui->channelFrame->title(), QStringLiteral("电视节目表单 %1").arg(expected));
}

void tst_Faults::refreshPressedRepeatedly()
{
    VendorServer::Response list;
    list.contentType = "text/plain; charset=utf-8";
    list.body = listBody(5);
    list.delayMs = 300;
    m_f.server->setRoute("/zavo/list.txt", list);

    // Pressed faster than the list arrives, then once more after it came.
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    for (int i = 0; i < 8; ++i) {
        m_f.window->form()->refreshAction->trigger();
        QTest::qWait(40 + 30 * (i % 3));
    }
    QTRY_VERIFY_WITH_TIMEOUT(loaded.size() >= 1, 15000);
    // Late answers for the abandoned loads must not add to the list.
    const QAbstractItemModel *model = m_f.window->form()->channelList->model();
    const auto grown = [model] { return model->rowCount() != 5; };
    QVERIFY(!QTest::qWaitFor(grown, 1500));
    verifyConsistent(5);
    m_f.window->form()->refreshAction->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(loaded.size() >= 2, 15000);
    QVERIFY(!QTest::qWaitFor(grown, 800));
    verifyConsistent(5);
}

void tst_Faults::channelKeysDuringRefresh_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("Watch") << "Watch";
    QTest::newRow("Channel +") << "Channel +";
    QTest::newRow("Channel -") << "Channel -";
    QTest::newRow("Page Down") << "Page Down";
    QTest::newRow("Page Up") << "Page Up";
    QTest::newRow("Enter") << "Enter";
    QTest::newRow("double-click") << "double-click";
}

void tst_Faults::channelKeysDuringRefresh()
{
    QFETCH(QString, key);
    Ui::MainWindow *ui = m_f.window->form();
    m_f.window->show();
    ui->tabs->setCurrentIndex(1);
    QVERIFY(QTest::qWaitForWindowExposed(m_f.window));
    m_f.window->guide()->loadList(QString::fromUtf8(listBody(5)));
    QListView *list = ui->channelList;
    list->setCurrentIndex(list->model()->index(2, 0));
    // Where the third name stood: the user double-clicks it once it is gone.
    const QPoint third = list->visualRect(list->model()->index(2, 0)).center();
    ui->watchButton->click();
    QVERIFY(waitForLoad(ui->player->page(), QUrl(m_f.channelUrl(2))));

    VendorServer::Response slow;
    slow.contentType = "text/plain; charset=utf-8";
    slow.body = listBody(4);
    slow.delayMs = 1500;
    m_f.server->setRoute("/zavo/list.txt", slow);
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    ui->refreshAction->trigger();
    QCOMPARE(list->model()->rowCount(), 0);

    // Between the emptied list and the new one the keys have nothing to play.
    QSignalSpy started(ui->player->page(), &QWebEnginePage::loadStarted);
    m_f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_f.window));
    list->setFocus();
    for (int i = 0; i < 3; ++i) {
        if (key == "Watch")
            ui->watchButton->click();
        else if (key == "Channel +")
            ui->nextButton->click();
        else if (key == "Channel -")
            ui->previousButton->click();
        else if (key == "Page Down")
            QTest::keyClick(m_f.window, Qt::Key_PageDown);
        else if (key == "Page Up")
            QTest::keyClick(m_f.window, Qt::Key_PageUp);
        else if (key == "Enter")
            QTest::keyClick(list, Qt::Key_Return);
        else
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, third);
    }
    QVERIFY(!started.wait(300));
    QCOMPARE(ui->player->url(), QUrl(m_f.channelUrl(2)));
    QCOMPARE(m_f.selectedRow(), -1);

    QVERIFY(loaded.wait(15000));
    verifyConsistent(4);
    // And once it is there, they work again.
    ui->nextButton->click();
    QCOMPARE(m_f.selectedRow(), 0);
    QVERIFY(waitForLoad(ui->player->page(), QUrl(m_f.channelUrl(0))));
}

void tst_Faults::closeWhileVersionCheckWaits_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Cancel") << int(QMessageBox::Cancel);
    QTest::newRow("OK") << int(QMessageBox::Ok);
}

void tst_Faults::closeWhileVersionCheckWaits()
{
    QFETCH(int, answer);
    VendorServer::Response list;
    list.contentType = "text/plain; charset=utf-8";
    list.body = listBody(3);
    m_f.server->setRoute("/zavo/list.txt", list);
    VendorServer::Response stalled;
    stalled.neverAnswer = true;
    m_f.server->setRoute("/version/zavo.txt", stalled);

    // Ending the program takes the window and all it owns with it.
    QPointer<MainWindow> window = m_f.window;
    int ended = 0;
    m_f.window->setProgramEnder([&] {
        ++ended;
        m_f.window->deleteLater();
        m_f.window = nullptr;
    });
    QSignalSpy steps(m_f.window, &MainWindow::startupStep);
    ModalDriver driver;
    driver.queue(answer);
    bool askedDuringWait = false;
    // The loader shows the window while the check still waits; the user closes it.
    connect(
        m_f.window->guide(), &ChannelGuide::listLoaded, m_f.window,
        [&] {
            QTimer::singleShot(300, m_f.window, [&] {
                askedDuringWait = m_f.window->isVisible();
                verifyConsistent(3);
                m_f.window->close();
            });
        },
        Qt::SingleShotConnection);

    m_f.window->start();
    QTRY_COMPARE_WITH_TIMEOUT(driver.seen().size(), 1, 15000);
    QVERIFY(askedDuringWait);
    QCOMPARE(driver.seen().first().text, QStringLiteral("您确定要退出程序吗?"));
    if (answer == QMessageBox::Ok) {
        // At once: no waiting out the check, nothing shown after.
        QCOMPARE(ended, 1);
        QTRY_VERIFY(!window);
        QTRY_VERIFY(!ModalDriver::openBox());
        QVERIFY(!QTest::qWaitFor([&] { return driver.seen().size() > 1; }, 1000));
        return;
    }
    QVERIFY(m_f.window->isVisible());
    // The check ends in its own time and reports the network.
    QTRY_COMPARE_WITH_TIMEOUT(driver.seen().size(), 2, 20000);
    QCOMPARE(driver.seen().at(1).text, QStringLiteral("您所处的网络环境不稳定,无法正常体验。"));
    QTRY_COMPARE(steps.last().first().value<MainWindow::Step>(), MainWindow::Step::VersionChecked);
    QCOMPARE(ended, 0);
    QVERIFY(m_f.window->isVisible());
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
