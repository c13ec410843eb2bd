// What the user does while the network is still busy.

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "modaldriver.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "webview/playerview.h"

#include <QGroupBox>
#include <QListView>
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
    // Names and URLs row for row, count and caption agreeing.
    void verifyConsistent(int expected);
    // The current channel: the list's selected row, -1 when none is.
    int selectedRow() const;

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
    const QAbstractItemModel *model = ui->channelList->model();
    QCOMPARE(model->rowCount(), expected);
    QCOMPARE(m_w->guide()->channelCount(), expected);
    for (int i = 0; i < expected; ++i) {
        QCOMPARE(model->index(i, 0).data().toString(), QStringLiteral("频道%1").arg(i));
        QCOMPARE(model->index(i, 0).data(ChannelModel::UrlRole).toString(), channelUrl(i));
    }
    QCOMPARE(ui->channelFrame->title(), QStringLiteral("电视节目表单 %1").arg(expected));
}

int tst_Faults::selectedRow() const
{
    const QModelIndexList rows = m_w->form()->channelList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
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
    QTest::newRow("Page Up") << "Page Up";
    QTest::newRow("Enter") << "Enter";
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
    QListView *list = ui->channelList;
    list->setCurrentIndex(list->model()->index(2, 0));
    // Where the third name stood: the user double-clicks it once it is gone.
    const QPoint third = list->visualRect(list->model()->index(2, 0)).center();
    ui->watchButton->click();
    QVERIFY(waitForLoad(ui->player->page(), QUrl(channelUrl(2))));

    VendorServer::Response slow;
    slow.contentType = "text/plain; charset=utf-8";
    slow.body = listBody(4);
    slow.delayMs = 1500;
    m_server->setRoute("/zavo/list.txt", slow);
    QSignalSpy loaded(m_w->guide(), &ChannelGuide::listLoaded);
    ui->refreshAction->trigger();
    QCOMPARE(list->model()->rowCount(), 0);

    // Between the emptied list and the new one the keys have nothing to play.
    QSignalSpy started(ui->player->page(), &QWebEnginePage::loadStarted);
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    list->setFocus();
    for (int i = 0; i < 3; ++i) {
        if (key == "Watch")
            ui->watchButton->click();
        else if (key == "Channel +")
            ui->nextButton->click();
        else if (key == "Channel -")
            ui->previousButton->click();
        else if (key == "Page Down")
            QTest::keyClick(m_w, Qt::Key_PageDown);
        else if (key == "Page Up")
            QTest::keyClick(m_w, Qt::Key_PageUp);
        else if (key == "Enter")
            QTest::keyClick(list, Qt::Key_Return);
        else
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, third);
    }
    QVERIFY(!started.wait(300));
    QCOMPARE(ui->player->url(), QUrl(channelUrl(2)));
    QCOMPARE(selectedRow(), -1);

    QVERIFY(loaded.wait(15000));
    verifyConsistent(4);
    // And once it is there, they work again.
    ui->nextButton->click();
    QCOMPARE(selectedRow(), 0);
    QVERIFY(waitForLoad(ui->player->page(), QUrl(channelUrl(0))));
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
    m_server->setRoute("/zavo/list.txt", list);
    VendorServer::Response stalled;
    stalled.neverAnswer = true;
    m_server->setRoute("/version/zavo.txt", stalled);

    // Ending the program takes the window and all it owns with it.
    QPointer<MainWindow> window = m_w;
    int ended = 0;
    m_w->setProgramEnder([&] {
        ++ended;
        m_w->deleteLater();
        m_w = nullptr;
    });
    QSignalSpy steps(m_w, &MainWindow::startupStep);
    ModalDriver driver;
    driver.queue(answer);
    bool askedDuringWait = false;
    // The loader shows the window while the check still waits; the user closes it.
    connect(
        m_w->guide(), &ChannelGuide::listLoaded, m_w,
        [&] {
            QTimer::singleShot(300, m_w, [&] {
                askedDuringWait = m_w->isVisible();
                verifyConsistent(3);
                m_w->close();
            });
        },
        Qt::SingleShotConnection);

    m_w->start();
    QTRY_COMPARE_WITH_TIMEOUT(driver.seen().size(), 1, 15000);
    QVERIFY(askedDuringWait);
    QCOMPARE(driver.seen().first().text, QStringLiteral("您确定要退出程序吗?"));
    if (answer == QMessageBox::Ok) {
        // At once: no waiting out the check, nothing shown after.
        QCOMPARE(ended, 1);
        QTRY_VERIFY(!window);
        QTRY_VERIFY(!ModalDriver::openBox());
        QTest::qWait(1000);
        QCOMPARE(driver.seen().size(), 1);
        return;
    }
    QVERIFY(m_w->isVisible());
    // The check ends in its own time and reports the network.
    QTRY_COMPARE_WITH_TIMEOUT(driver.seen().size(), 2, 20000);
    QCOMPARE(driver.seen().at(1).text, QStringLiteral("您所处的网络环境不稳定,无法正常体验。"));
    QTRY_COMPARE(steps.last().first().value<MainWindow::Step>(), MainWindow::Step::VersionChecked);
    QCOMPARE(ended, 0);
    QVERIFY(m_w->isVisible());
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
