// The channel-list loader over the real web engine, against our own server.

#include "app/mainwindow.h"
#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "vendorserver.h"
#include "viewerfixture.h"
#include "webview/listpage.h"

#include <QGroupBox>
#include <QListView>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTcpServer>
#include <QWebEngineProfile>
#include <QtTest>

using Names = QStringList;

class tst_Loader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void load_data();
    void load();
    void failedLoadsNeverRunTheLoader_data();
    void failedLoadsNeverRunTheLoader();
    void refreshAfterLoad();
    void refreshWhileUnreachable();
    void hostileLists_data();
    void hostileLists();

private:
    // Refreshes and waits until the list page has finished the list URL and
    // every body read the guide started for it has been answered.
    bool refreshAndSettle();
    // What the channel list shows, row by row, in one role of its model.
    Names column(int role) const;
    Names names() const { return column(Qt::DisplayRole); }
    Names urls() const { return column(ChannelModel::UrlRole); }
    int rows() const { return m_f.window->form()->channelList->model()->rowCount(); }

    ViewerFixture m_f;
};

static const QString Initial = QStringLiteral("电视节目表单");
static const QString Failed = QStringLiteral("电视节目表单更新失败");

void tst_Loader::initTestCase()
{
    installChineseTranslations();
}

void tst_Loader::init()
{
    // Every path is routed by the test itself.
    QVERIFY(m_f.setUp(0, false));
}

void tst_Loader::cleanup()
{
    m_f.tearDown();
}

Names tst_Loader::column(int role) const
{
    const QAbstractItemModel *model = m_f.window->form()->channelList->model();
    Names n;
    for (int i = 0; i < model->rowCount(); ++i)
        n << model->index(i, 0).data(role).toString();
    return n;
}

bool tst_Loader::refreshAndSettle()
{
    // A body the engine takes for binary turns into a (refused) download
    // instead of a document.
    bool downloaded = false;
    const auto c = connect(
        viewerProfile(), &QWebEngineProfile::downloadRequested, this, [&] { downloaded = true; });
    const QUrl listUrl(m_f.window->guide()->listUrl());
    bool finished = false;
    const auto f = connect(m_f.window->listPage(), &QWebEnginePage::loadFinished, this,
        [&] { finished = m_f.window->listPage()->url() == listUrl; });
    m_f.window->guide()->refresh();
    const bool settled = QTest::qWaitFor([&] { return finished || downloaded; }, 30000);
    disconnect(c);
    disconnect(f);
    // The guide's read was started first, so it has been answered by now.
    plainTextOf(m_f.window->listPage());
    return settled;
}

void tst_Loader::load_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<Names>("names");
    QTest::addColumn<Names>("urls");
    QTest::addColumn<QString>("caption");

    const QByteArray utf8
        = QStringLiteral("栎川一台;http://h/1\r\n新闻频道;http://h/2\r\n电影频道;http://h/3\r\n"
                         "体育频道;http://h/4\r\n少儿频道;http://h/5\r\n")
              .toUtf8();
    const Names chinese {"栎川一台", "新闻频道", "电影频道", "体育频道", "少儿频道"};
    const Names chineseUrls {"http://h/1", "http://h/2", "http://h/3", "http://h/4", "http://h/5"};
    QStringEncoder gbk("GB18030");
    const QByteArray gbkBody = gbk(QString::fromUtf8(utf8));

    QTest::newRow("UTF-8 with charset") << utf8 << QByteArray("text/plain; charset=utf-8")
                                        << chinese << chineseUrls << "电视节目表单 5";
    QTest::newRow("UTF-8 without charset")
        << utf8 << QByteArray("text/plain") << chinese << chineseUrls << "电视节目表单 5";
    QTest::newRow("GBK with charset") << gbkBody << QByteArray("text/plain; charset=gbk") << chinese
                                      << chineseUrls << "电视节目表单 5";
    QTest::newRow("GBK without charset")
        << gbkBody << QByteArray("text/plain") << chinese << chineseUrls << "电视节目表单 5";
    QTest::newRow("CR LF") << QByteArray("A;u1\r\nB;u2;x\r\n\r\nC;u3") << QByteArray("text/plain")
                           << Names {"A", "B"} << Names {"u1", "u2;x"} << "电视节目表单 2";
    QTest::newRow("LF") << QByteArray("A;u1\nB;u2\nC;u3") << QByteArray("text/plain")
                        << Names {"A", "B", "C"} << Names {"u1", "u2", "u3"} << "电视节目表单 3";
    QTest::newRow("CR") << QByteArray("A;u1\rB;u2\r") << QByteArray("text/plain")
                        << Names {"A", "B"} << Names {"u1", "u2"} << "电视节目表单 2";
    QTest::newRow("blanks kept") << QByteArray(" a ; b \r\nx;\r\n;y") << QByteArray("text/plain")
                                 << Names {" a ", "x", ""} << Names {" b ", "", "y"}
                                 << "电视节目表单 3";
    QTest::newRow("title line") << QByteArray("节目表\r\nA;u1\r\n") << QByteArray("text/plain")
                                << Names {} << Names {} << Failed;
}

void tst_Loader::load()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(Names, names);
    QFETCH(Names, urls);
    QFETCH(QString, caption);

    VendorServer::Response r;
    r.body = body;
    r.contentType = contentType;
    m_f.server->setRoute("/zavo/list.txt", r);

    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    QVERIFY(!m_f.window->isVisible());
    m_f.window->guide()->refresh();
    QVERIFY(loaded.wait(30000));

    QCOMPARE(this->names(), names);
    QCOMPARE(this->urls(), urls);
    QCOMPARE(m_f.window->guide()->channelCount(), names.size());
    QCOMPARE(m_f.window->form()->channelFrame->title(), caption);
    // The loader selects nothing.
    QCOMPARE(m_f.selectedRow(), -1);
    QVERIFY(m_f.window->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(m_f.window->listPage()->url(), QUrl("about:blank"), 10000);
}

void tst_Loader::failedLoadsNeverRunTheLoader_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("no separator") << 200 << QByteArray("text/plain")
                                  << QByteArray("just text\r\nno list here\r\n");
    QTest::newRow("404 page with separators")
        << 404 << QByteArray("text/html") << QByteArray("<p>A;u1</p><p>B;u2</p>");
    QTest::newRow("500 list-like body")
        << 500 << QByteArray("text/plain") << QByteArray("A;u1\r\nB;u2\r\n");
}

void tst_Loader::failedLoadsNeverRunTheLoader()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);

    VendorServer::Response r;
    r.status = status;
    r.contentType = contentType;
    r.body = body;
    m_f.server->setRoute("/zavo/list.txt", r);

    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    QVERIFY(refreshAndSettle());
    QCOMPARE(loaded.size(), 0);
    QCOMPARE(m_f.window->form()->channelFrame->title(), Initial);
    QCOMPARE(rows(), 0);
    QCOMPARE(m_f.window->guide()->channelCount(), 0);
    QVERIFY(!m_f.window->isVisible());
    QCOMPARE(m_f.window->listPage()->url(), QUrl(m_f.window->guide()->listUrl()));
}

void tst_Loader::refreshAfterLoad()
{
    VendorServer::Response r;
    r.body = "A;u1\r\nB;u2\r\nC;u3\r\n";
    m_f.server->setRoute("/zavo/list.txt", r);
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    m_f.window->guide()->refresh();
    QVERIFY(loaded.wait(30000));
    QCOMPARE(m_f.window->form()->channelFrame->title(), "电视节目表单 3");
    QListView *list = m_f.window->form()->channelList;
    list->setCurrentIndex(list->model()->index(1, 0));
    QCOMPARE(m_f.selectedRow(), 1);

    r.body = "X;ux\r\nY;uy\r\n";
    r.delayMs = 300;
    m_f.server->setRoute("/zavo/list.txt", r);
    m_f.window->guide()->refresh();
    // Emptied at once; the caption keeps the old count until the new list.
    QCOMPARE(rows(), 0);
    QCOMPARE(m_f.window->guide()->channelCount(), 0);
    QCOMPARE(m_f.selectedRow(), -1);
    QVERIFY(!list->currentIndex().isValid());
    QCOMPARE(m_f.window->form()->channelFrame->title(), "电视节目表单 3");

    QVERIFY(loaded.wait(30000));
    QCOMPARE(names(), (Names {"X", "Y"}));
    QCOMPARE(urls(), (Names {"ux", "uy"}));
    QCOMPARE(m_f.window->form()->channelFrame->title(), "电视节目表单 2");
    // The update fetched the list again rather than a cached copy.
    int listRequests = 0;
    for (const auto &req : m_f.server->requests())
        listRequests += req.path == "/zavo/list.txt";
    QCOMPARE(listRequests, 2);
}

void tst_Loader::refreshWhileUnreachable()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString dead = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();

    delete m_f.window;
    m_f.window = new MainWindow(dead, memoryStoreFactory(m_f.store));
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    const QUrl listUrl(m_f.window->guide()->listUrl());
    m_f.window->guide()->refresh();
    QVERIFY(!waitForLoad(m_f.window->listPage(), listUrl, 30000));
    plainTextOf(m_f.window->listPage());
    QVERIFY(!loaded.wait(50));
    QCOMPARE(rows(), 0);
    QCOMPARE(m_f.window->guide()->channelCount(), 0);
    QCOMPARE(m_f.window->form()->channelFrame->title(), Initial);
}

void tst_Loader::hostileLists_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("nosniff");
    QTest::addColumn<int>("count"); // -1: the engine refuses the body, the loader never runs

    auto many = [](int n, int pad) {
        QByteArray b;
        const QByteArray filler(pad, 'p');
        for (int i = 0; i < n; ++i)
            b += "c" + QByteArray::number(i) + ";http://h/" + filler + QByteArray::number(i)
                + "\r\n";
        return b;
    };
    QTest::newRow("40000 entries") << many(40000, 0) << QByteArray("text/plain") << false << 32767;
    QTest::newRow("50 MB body") << many(500000, 80) << QByteArray("text/plain") << false << 32767;
    QTest::newRow("10 MB single line with a late separator")
        << QByteArray(10 * 1024 * 1024, 'x') + ";u" << QByteArray("text/plain") << false << 0;
    QTest::newRow("first separator past 32767")
        << QByteArray("a;b\r\n") + QByteArray(40000, 'n') + ";u\r\nc;d" << QByteArray("text/plain")
        << false << 1;
    const QByteArray nul("a\0b;u1\r\nc;u2\r\n", 14);
    QTest::newRow("NUL bytes, sniffed as binary") << nul << QByteArray("text/plain") << false << -1;
    QTest::newRow("NUL bytes, declared text") << nul << QByteArray("text/plain") << true << 2;
    QTest::newRow("invalid UTF-8") << QByteArray("ok;u1\r\n\xc3(\xff\xfe;u2\r\n")
                                   << QByteArray("text/plain; charset=utf-8") << false << 2;
    QByteArray html = "<html><body>";
    for (int i = 0; i < 2000; ++i)
        html += "<div>x;y;z&amp;" + QByteArray::number(i) + "</div>";
    html += "</body></html>";
    QTest::newRow("HTML full of separators") << html << QByteArray("text/html") << false << 2000;
}

void tst_Loader::hostileLists()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, nosniff);
    QFETCH(int, count);

    VendorServer::Response r;
    r.body = body;
    r.contentType = contentType;
    if (nosniff)
        r.headers.append(qMakePair(QByteArray("X-Content-Type-Options"), QByteArray("nosniff")));
    m_f.server->setRoute("/zavo/list.txt", r);
    QSignalSpy loaded(m_f.window->guide(), &ChannelGuide::listLoaded);
    QElapsedTimer t;
    t.start();
    if (count >= 0) {
        m_f.window->guide()->refresh();
        QVERIFY(loaded.wait(60000));
    } else {
        QVERIFY(refreshAndSettle());
        QCOMPARE(loaded.size(), 0);
    }
    qInfo("loaded in %lld ms", t.elapsed());
    const int expected = qMax(count, 0);
    QCOMPARE(m_f.window->guide()->channelCount(), expected);
    QCOMPARE(rows(), expected);
    QString caption = QStringLiteral("电视节目表单");
    if (count == 0)
        caption = Failed;
    else if (count > 0)
        caption = QStringLiteral("电视节目表单 %1").arg(count);
    QCOMPARE(m_f.window->form()->channelFrame->title(), caption);
}

QTEST_MAIN(tst_Loader)
#include "tst_loader.moc"
