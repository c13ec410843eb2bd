// What the user does while the network is still busy.

#include "app/mainwindow.h"
#include "app/msgbox.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "modaldriver.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "webview/playerview.h"

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

class tst_Faults : public QObject
{
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
    QString channelUrl(int i) const { return m_server->baseUrl() + QStringLiteral("/ch/%1").arg(i); }
    QByteArray listBody(int channels) const;
    // Lists index-parallel, count and caption agreeing.
    void verifyConsistent(int expected);

    VendorServer *m_server = nullptr;
    MainWindow *m_w = nullptr;
    std::shared_ptr<MemoryStartPage> m_store;
};

void tst_Faults::initTestCase()
{
    installChineseTranslations();
}

void tst_Faults::init()
{
    m_server = new VendorServer(this);
    serveSite(m_server);
    VendorServer::Response page;
    page.contentType = "text/html; charset=utf-8";
    page.body = "<html><body>channel</body></html>";
    for (int i = 0; i < 5; ++i)
        m_server->setRoute(QStringLiteral("/ch/%1").arg(i), page);
    QVERIFY(m_server->listen());
    m_w = newViewer(m_server, m_store);
}

void tst_Faults::cleanup()
{
    delete m_w;
    m_w = nullptr;
    delete m_server;
    m_server = nullptr;
}

QByteArray tst_Faults::listBody(int channels) const
{
    QByteArray body;
    for (int i = 0; i < channels; ++i)
        body += QStringLiteral("频道%1;%2\r\n").arg(i).arg(channelUrl(i)).toUtf8();
    return body;
}

void tst_Faults::verifyConsistent(int expected)
{
    const Ui::MainWindow *ui = m_w->form();
    QCOMPARE(ui->channelList->count(), expected);
    QCOMPARE(ui->urlList->count(), expected);
    QCOMPARE(int(m_w->guide()->channelCount()), expected);
    for (int i = 0; i < expected; ++i) {
        QCOMPARE(ui->channelList->item(i)->text(), QStringLiteral("频道%1").arg(i));
        QCOMPARE(ui->urlList->item(i)->text(), channelUrl(i));
    }
    QCOMPARE(ui->channelFrame->title(), QStringLiteral("电视节目表单 %1").arg(expected));
}

void tst_Faults::refreshPressedRepeatedly()
{
    VendorServer::Response list;
    list.contentType = "text/plain; charset=utf-8";
    list.body = listBody(5);
    list.delayMs = 300;
    m_server->setRoute("/zavo/list.txt", list);

    // Pressed faster than the list arrives, then once more after it came.
    QSignalSpy loaded(m_w->guide(), &ChannelGuide::listLoaded);
    for (int i = 0; i < 8; ++i) {
        m_w->form()->refreshAction->trigger();
        QTest::qWait(40 + 30 * (i % 3));
    }
    QTRY_VERIFY_WITH_TIMEOUT(loaded.size() >= 1, 15000);
    // Late answers for the abandoned loads must not add to the list.
    QTest::qWait(1500);
    verifyConsistent(5);
    m_w->form()->refreshAction->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(loaded.size() >= 2, 15000);
    QTest::qWait(800);
    verifyConsistent(5);
}

void tst_Faults::channelKeysDuringRefresh_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("Watch") << "Watch";
    QTest::newRow("Channel +") << "Channel +";
    QTest::newRow("Channel -") << "Channel -";
    QTest::newRow("Page Down") << "Page Down";
    QTest::newRow("double-click") << "double-click";
}

void tst_Faults::channelKeysDuringRefresh()
{
    QFETCH(QString, key);
    Ui::MainWindow *ui = m_w->form();
    m_w->show();
    ui->tabs->setTab(1);
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    m_w->guide()->loadList(QString::fromUtf8(listBody(5)));
    ui->channelList->setCurrentRow(2);
    ui->watchButton->click();
    QVERIFY(waitForLoad(ui->player->page(), QUrl(channelUrl(2))));

    VendorServer::Response slow;
    slow.contentType = "text/plain; charset=utf-8";
    slow.body = listBody(4);
    slow.delayMs = 1500;
    m_server->setRoute("/zavo/list.txt", slow);
    QSignalSpy loaded(m_w->guide(), &ChannelGuide::listLoaded);
    ui->refreshAction->trigger();
    QCOMPARE(ui->channelList->count(), 0);

    // Between the emptied list and the new one the keys have nothing to play.
    for (int i = 0; i < 3; ++i) {
        if (key == "Watch")
            ui->watchButton->click();
        else if (key == "Channel +")
            ui->nextButton->click();
        else if (key == "Channel -")
            ui->previousButton->click();
        else if (key == "Page Down")
            QTest::keyClick(m_w, Qt::Key_PageDown);
        else
            m_w->guide()->channelDoubleClicked();
    }
    QTest::qWait(300);
    QCOMPARE(ui->player->url(), QUrl(channelUrl(2)));
    QCOMPARE(ui->channelList->currentRow(), -1);
    QCOMPARE(ui->urlList->currentRow(), -1);

    QVERIFY(loaded.wait(15000));
    verifyConsistent(4);
    // And once it is there, they work again.
    ui->nextButton->click();
    QCOMPARE(ui->channelList->currentRow(), 0);
    QVERIFY(waitForLoad(ui->player->page(), QUrl(channelUrl(0))));
}

void tst_Faults::closeWhileVersionCheckWaits_data()
{
    QTest::addColumn<int>("answer");
    // Cancel first: confirming ends the program for the rest of this run.
    QTest::newRow("Cancel") << int(QMessageBox::Cancel);
    QTest::newRow("OK") << int(QMessageBox::Ok);
}

void tst_Faults::closeWhileVersionCheckWaits()
{
    QFETCH(int, answer);
    VendorServer::Response list;
    list.contentType = "text/plain; charset=utf-8";
    list.body = listBody(3);
    m_server->setRoute("/zavo/list.txt", list);
    VendorServer::Response stalled;
    stalled.neverAnswer = true;
    m_server->setRoute("/version/zavo.txt", stalled);

    ModalDriver driver;
    driver.queue(answer);
    bool askedDuringWait = false;
    // The loader shows the window while the check still waits; the user closes it.
    connect(
        m_w->guide(), &ChannelGuide::listLoaded, m_w,
        [&] {
            QTimer::singleShot(300, m_w, [&] {
                askedDuringWait = m_w->isVisible();
                m_w->close();
            });
        },
        Qt::SingleShotConnection);

    QElapsedTimer clock;
    clock.start();
    m_w->start();
    const qint64 took = clock.elapsed();

    QVERIFY(askedDuringWait);
    QVERIFY(driver.seen().size() >= 1);
    QCOMPARE(driver.seen().first().text, QStringLiteral("您确定要退出程序吗?"));
    verifyConsistent(3);
    if (answer == QMessageBox::Ok) {
        // The program ends at once: no waiting out the check, no message after.
        QVERIFY(MsgBox::programEnding());
        QVERIFY2(took < 10000, qPrintable(QString::number(took)));
        QCOMPARE(driver.seen().size(), 1);
    } else {
        QVERIFY(!MsgBox::programEnding());
        QVERIFY(m_w->isVisible());
        QVERIFY(took >= 15000);
        QCOMPARE(driver.seen().size(), 2);
        QCOMPARE(driver.seen().at(1).text, QStringLiteral("您所处的网络环境不稳定,无法正常体验。"));
    }
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
