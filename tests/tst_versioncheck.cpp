#include "app/msgbox.h"
#include "appinfo.h"
#include "modaldriver.h"
#include "net/module1.h"
#include "vendorserver.h"

#include <QDesktopServices>
#include <QLibraryInfo>
#include <QTcpServer>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <QtTest>

// Stands in for the system browser; notes whether a box was still open.
class BrowserCatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    const ModalDriver *driver = nullptr;
    QList<QUrl> urls;
    int boxesSeenBeforeOpen = -1;
    bool boxOpenAtOpen = false;

public slots:
    void openUrl(const QUrl &url)
    {
        urls.append(url);
        boxesSeenBeforeOpen = driver ? int(driver->seen().size()) : -1;
        boxOpenAtOpen = ModalDriver::openBox() != nullptr;
    }
};

namespace {

enum class Box { None, OutOfDate, Network };

const QString kOutOfDate = QStringLiteral("您使用的版本已过期,建议下载最新版本。");
const QString kNetwork = QStringLiteral("您所处的网络环境不稳定,无法正常体验。");

quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

Q_DECLARE_METATYPE(Box)

class TestVersionCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void checkVersion_data();
    void checkVersion();
    // Last: the ending flag cannot be cleared.
    void programEndingDuringWait();

private:
    VendorServer *m_server = nullptr;
    BrowserCatcher *m_browser = nullptr;
};

void TestVersionCheck::initTestCase()
{
    auto *translator = new QTranslator(qApp);
    QVERIFY(translator->load(QStringLiteral("qtbase_zh_CN"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    QVERIFY(QCoreApplication::installTranslator(translator));

    m_server = new VendorServer(this);
    QVERIFY(m_server->listen());
    m_browser = new BrowserCatcher(this);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), m_browser, "openUrl");
}

void TestVersionCheck::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void TestVersionCheck::checkVersion_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Box>("box");

    QTest::newRow("same version") << true << 200 << QByteArray("1.1") << Box::None;
    QTest::newRow("same version with line break")
            << true << 200 << QByteArray("1.1\n") << Box::OutOfDate;
    QTest::newRow("lower version") << true << 200 << QByteArray("1.0") << Box::OutOfDate;
    QTest::newRow("1.10 is not 1.1") << true << 200 << QByteArray("1.10") << Box::OutOfDate;
    QTest::newRow("higher version") << true << 200 << QByteArray("2.0") << Box::OutOfDate;
    QTest::newRow("empty version file") << true << 200 << QByteArray() << Box::Network;
    QTest::newRow("404 page") << true << 404 << QByteArray("<html><body>Not Found</body></html>")
                              << Box::OutOfDate;
    QTest::newRow("unreachable site") << false << 0 << QByteArray() << Box::Network;
}

void TestVersionCheck::checkVersion()
{
    QFETCH(bool, reachable);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Box, box);

    QString site = m_server->baseUrl();
    if (reachable) {
        VendorServer::Response r;
        r.status = status;
        r.body = body;
        m_server->setRoute("/version/zavo.txt", r);
    } else {
        const quint16 port = closedPort();
        QVERIFY(port != 0);
        site = QStringLiteral("http://127.0.0.1:%1").arg(port);
    }
    m_server->clearRequests();

    QWidget parent;
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    ModalDriver driver;
    driver.queue(QMessageBox::Ok);
    m_browser->driver = &driver;
    m_browser->urls.clear();
    m_browser->boxesSeenBeforeOpen = -1;

    Module1::CheckVersion(&parent, site);

    QCOMPARE(Module1::LocalVersion, QStringLiteral("1.1"));
    QCOMPARE(Module1::LocalVersion,
             QStringLiteral("%1.%2").arg(AppInfo::Major).arg(AppInfo::Minor));
    QCOMPARE(Module1::ServerVersion, reachable ? QString::fromUtf8(body) : QString());
    if (reachable) {
        const QList<VendorServer::Request> requests = m_server->requests();
        QVERIFY(!requests.isEmpty());
        for (const VendorServer::Request &req : requests)
            QCOMPARE(req.path, QByteArray("/version/zavo.txt"));
    }

    const QList<SeenBox> &seen = driver.seen();
    if (box == Box::None) {
        QCOMPARE(seen.size(), 0);
    } else {
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().title, QStringLiteral("提示"));
        QCOMPARE(seen.first().text, box == Box::OutOfDate ? kOutOfDate : kNetwork);
        QCOMPARE(seen.first().icon, QMessageBox::Question);
        QCOMPARE(seen.first().buttons, QStringList{QStringLiteral("确定")});
        QVERIFY(seen.first().parentVisible);
    }
    QVERIFY(!ModalDriver::openBox());

    if (box == Box::OutOfDate) {
        QCOMPARE(m_browser->urls, QList<QUrl>{QUrl(site)});
        // Opened only after the box was answered.
        QCOMPARE(m_browser->boxesSeenBeforeOpen, 1);
        QVERIFY(!m_browser->boxOpenAtOpen);
    } else {
        QCOMPARE(m_browser->urls, QList<QUrl>{});
    }
    m_browser->driver = nullptr;
}

void TestVersionCheck::programEndingDuringWait()
{
    VendorServer::Response r;
    r.body = "9.9";
    r.delayMs = 600;
    m_server->setRoute("/version/zavo.txt", r);
    m_server->clearRequests();

    ModalDriver driver;
    m_browser->driver = &driver;
    m_browser->urls.clear();

    // The user confirms quitting while the check is still waiting.
    QObject context;
    QTimer::singleShot(100, &context, [] { MsgBox::setProgramEnding(); });
    Module1::CheckVersion(nullptr, m_server->baseUrl());

    QVERIFY(MsgBox::programEnding());
    QVERIFY(!m_server->requests().isEmpty());
    QCOMPARE(Module1::ServerVersion, QStringLiteral("9.9"));
    QCOMPARE(driver.seen().size(), 0);
    QCOMPARE(m_browser->urls, QList<QUrl>{});
    m_browser->driver = nullptr;
}

QTEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
