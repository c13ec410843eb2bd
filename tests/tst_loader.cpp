// The channel list over the real web engine, against our own server: what
// the engine makes of the bodies it is sent. The list format is
// tst_channellist's, the guide's rules tst_channelguide's.

#include "guide/channelmodel.h"
#include "viewerfixture.h"

#include <QGroupBox>
#include <QStringEncoder>
#include <QTcpServer>
#include <QWebEngineProfile>
#include <QtTest>

using Names = QStringList;

class tst_Loader : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void load_data();
    void load();
    void failedLoadsNeverRunTheLoader_data();
    void failedLoadsNeverRunTheLoader();
    void refreshAfterLoad();
    void hostileLists_data();
    void hostileLists();

private:
    // As the menu's update does.
    void refresh() { m_f.part<QAction>("refreshAction")->trigger(); }
    // Refreshes and waits until the list page has finished the list URL and
    // its own read of the body has been answered.
    bool refreshAndSettle();
    // What the channel list shows, row by row, in one role of its model.
    Names column(int role) const;
    Names names() const { return column(Qt::DisplayRole); }
    Names urls() const { return column(ChannelModel::UrlRole); }
    int rows() const { return m_f.channelList()->model()->rowCount(); }
    QString caption() const { return m_f.part<QGroupBox>("channelFrame")->title(); }

    ViewerFixture m_f;
    QUrl m_listUrl;
};

static const QString Initial = QStringLiteral("电视节目表单");

void tst_Loader::init()
{
    // Every path is routed by the test itself.
    QVERIFY(m_f.setUp(0, false));
    m_listUrl = QUrl(VendorSite(m_f.server->baseUrl()).channelList());
}

void tst_Loader::cleanup()
{
    m_f.tearDown();
}

Names tst_Loader::column(int role) const
{
    const QAbstractItemModel *model = m_f.channelList()->model();
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
    const auto c = connect(QWebEngineProfile::defaultProfile(),
        &QWebEngineProfile::downloadRequested, this, [&] { downloaded = true; });
    bool finished = false;
    const auto f = connect(m_f.listPage(), &QWebEnginePage::loadFinished, this,
        [&] { finished = m_f.listPage()->url() == m_listUrl; });
    refresh();
    const bool settled = QTest::qWaitFor([&] { return finished || downloaded; }, 30000);
    disconnect(c);
    disconnect(f);
    // The page's own read was started first, so it has been answered by now.
    plainTextOf(m_f.listPage());
    return settled;
}

void tst_Loader::load_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<Names>("names");
    QTest::addColumn<Names>("urls");

    const QByteArray utf8
        = QStringLiteral("栎川一台;http://h/1\r\n新闻频道;http://h/2\r\n电影频道;http://h/3\r\n"
                         "体育频道;http://h/4\r\n少儿频道;http://h/5\r\n")
              .toUtf8();
    const Names chinese {"栎川一台", "新闻频道", "电影频道", "体育频道", "少儿频道"};
    const Names chineseUrls {"http://h/1", "http://h/2", "http://h/3", "http://h/4", "http://h/5"};
    QStringEncoder gbk("GB18030");
    const QByteArray gbkBody = gbk(QString::fromUtf8(utf8));

    QTest::newRow("UTF-8 with charset")
        << utf8 << QByteArray("text/plain; charset=utf-8") << chinese << chineseUrls;
    QTest::newRow("UTF-8 without charset")
        << utf8 << QByteArray("text/plain") << chinese << chineseUrls;
    QTest::newRow("GBK with charset")
        << gbkBody << QByteArray("text/plain; charset=gbk") << chinese << chineseUrls;
    QTest::newRow("GBK without charset")
        << gbkBody << QByteArray("text/plain") << chinese << chineseUrls;
    // Every kind of line break, blanks, and the empty line that ends the list.
    QTest::newRow("line breaks and blanks")
        << QByteArray("A;u1\r\nB;u2\nC;u3\r x ; y \r\n\r\nD;u4") << QByteArray("text/plain")
        << Names {"A", "B", "C", " x "} << Names {"u1", "u2", "u3", " y "};
}

void tst_Loader::load()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(Names, names);
    QFETCH(Names, urls);

    VendorServer::Response r;
    r.body = body;
    r.contentType = contentType;
    m_f.server->setRoute("/zavo/list.txt", r);

    QSignalSpy loaded(m_f.guide(), &ChannelGuide::listLoaded);
    QVERIFY(!m_f.window->isVisible());
    refresh();
    QVERIFY(loaded.wait(30000));

    QCOMPARE(this->names(), names);
    QCOMPARE(this->urls(), urls);
    QCOMPARE(caption(), QStringLiteral("电视节目表单 %1").arg(names.size()));
    QVERIFY(m_f.window->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(m_f.listPage()->url(), QUrl("about:blank"), 10000);
}

void tst_Loader::failedLoadsNeverRunTheLoader_data()
{
    QTest::addColumn<int>("status"); // 0: nobody listens
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("no separator") << 200 << QByteArray("text/plain")
                                  << QByteArray("just text\r\nno list here\r\n");
    QTest::newRow("404 page with separators")
        << 404 << QByteArray("text/html") << QByteArray("<p>A;u1</p><p>B;u2</p>");
    QTest::newRow("500 list-like body")
        << 500 << QByteArray("text/plain") << QByteArray("A;u1\r\nB;u2\r\n");
    QTest::newRow("unreachable host") << 0 << QByteArray() << QByteArray();
}

void tst_Loader::failedLoadsNeverRunTheLoader()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);

    if (status == 0) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const VendorSite dead(QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()));
        probe.close();
        QVERIFY(m_f.setUp(0, false, [&](ViewerOptions &o) { o.site = dead; }));
        m_listUrl = QUrl(dead.channelList());
    }
    VendorServer::Response r;
    r.status = status;
    r.contentType = contentType;
    r.body = body;
    m_f.server->setRoute("/zavo/list.txt", r);

    QSignalSpy loaded(m_f.guide(), &ChannelGuide::listLoaded);
    QVERIFY(refreshAndSettle());
    QCOMPARE(loaded.size(), 0);
    QCOMPARE(caption(), Initial);
    QCOMPARE(rows(), 0);
    QVERIFY(!m_f.window->isVisible());
    QCOMPARE(m_f.listPage()->url(), m_listUrl);
}

void tst_Loader::refreshAfterLoad()
{
    VendorServer::Response r;
    r.body = "A;u1\r\nB;u2\r\nC;u3\r\n";
    m_f.server->setRoute("/zavo/list.txt", r);
    QSignalSpy loaded(m_f.guide(), &ChannelGuide::listLoaded);
    refresh();
    QVERIFY(loaded.wait(30000));
    QCOMPARE(caption(), "电视节目表单 3");

    // The update empties the list at once, then fetches the list anew, past
    // the cached copy.
    r.body = "X;ux\r\nY;uy\r\n";
    r.delayMs = 300;
    m_f.server->setRoute("/zavo/list.txt", r);
    refresh();
    QCOMPARE(rows(), 0);
    QVERIFY(loaded.wait(30000));
    QCOMPARE(names(), (Names {"X", "Y"}));
    QCOMPARE(urls(), (Names {"ux", "uy"}));
    QCOMPARE(caption(), "电视节目表单 2");
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
    QSignalSpy loaded(m_f.guide(), &ChannelGuide::listLoaded);
    QElapsedTimer t;
    t.start();
    if (count >= 0) {
        refresh();
        QVERIFY(loaded.wait(60000));
    } else {
        QVERIFY(refreshAndSettle());
        QCOMPARE(loaded.size(), 0);
    }
    qInfo("loaded in %lld ms", t.elapsed());
    const int expected = qMax(count, 0);
    QCOMPARE(rows(), expected);
    QString shown = Initial;
    if (count == 0)
        shown = QStringLiteral("电视节目表单更新失败");
    else if (count > 0)
        shown = QStringLiteral("电视节目表单 %1").arg(count);
    QCOMPARE(caption(), shown);
}

VIEWER_TEST_MAIN(tst_Loader)
#include "tst_loader.moc"
