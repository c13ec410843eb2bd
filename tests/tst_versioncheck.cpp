#include "net/vendorsite.h"
#include "net/versioncheck.h"
#include "netsupport.h"
#include "vendorserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

using Verdict = VersionCheck::Verdict;

// Where the check looks for the version file.
enum class Site {
    Serving, // the fixture server, answering with the row's status and body
    ClosedPort, // nothing listens
    Silent, // the fixture server takes the request and never answers
};

const QByteArray kVersionPath = "/version/zavo.txt";
// The check's wait, short: a silent server is waited out once.
constexpr std::chrono::milliseconds kWait = 1500ms;

} // namespace

Q_DECLARE_METATYPE(Site)

class TestVersionCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void verdict_data();
    void verdict();
    void checkAgainstServer_data();
    void checkAgainstServer();
    void destroyedDuringWaitSaysNothing();
    void startedAgainReportsAfresh();

private:
    VendorServer *m_server = nullptr;
};

void TestVersionCheck::initTestCase()
{
    m_server = new VendorServer(this);
    QVERIFY(m_server->listen());
}

void TestVersionCheck::verdict_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("server");
    QTest::addColumn<Verdict>("expected");

    QTest::newRow("same text") << QStringLiteral("1.1") << QStringLiteral("1.1")
                               << Verdict::Current;
    QTest::newRow("line feed after")
        << QStringLiteral("1.1") << QStringLiteral("1.1\n") << Verdict::Outdated;
    QTest::newRow("CR LF after") << QStringLiteral("1.1") << QStringLiteral("1.1\r\n")
                                 << Verdict::Outdated;
    QTest::newRow("blank before") << QStringLiteral("1.1") << QStringLiteral(" 1.1")
                                  << Verdict::Outdated;
    QTest::newRow("blank after") << QStringLiteral("1.1") << QStringLiteral("1.1 ")
                                 << Verdict::Outdated;
    QTest::newRow("lower") << QStringLiteral("1.1") << QStringLiteral("1.0") << Verdict::Outdated;
    QTest::newRow("higher") << QStringLiteral("1.1") << QStringLiteral("2.0") << Verdict::Outdated;
    QTest::newRow("1.10 is not 1.1")
        << QStringLiteral("1.1") << QStringLiteral("1.10") << Verdict::Outdated;
    QTest::newRow("1.1 is not 1.10")
        << QStringLiteral("1.10") << QStringLiteral("1.1") << Verdict::Outdated;
    QTest::newRow("leading zero") << QStringLiteral("1.1") << QStringLiteral("1.01")
                                  << Verdict::Outdated;
    QTest::newRow("case counts") << QStringLiteral("v1.1") << QStringLiteral("V1.1")
                                 << Verdict::Outdated;
    QTest::newRow("full-width digits")
        << QStringLiteral("1.1") << QStringLiteral("１.１") << Verdict::Outdated;
    QTest::newRow("error page") << QStringLiteral("1.1")
                                << QStringLiteral("<html><body>Not Found</body></html>")
                                << Verdict::Outdated;
    QTest::newRow("nothing came back")
        << QStringLiteral("1.1") << QString() << Verdict::Unreachable;
    QTest::newRow("empty but not null")
        << QStringLiteral("1.1") << QStringLiteral("") << Verdict::Unreachable;
}

void TestVersionCheck::verdict()
{
    QFETCH(QString, local);
    QFETCH(QString, server);
    QFETCH(Verdict, expected);
    QCOMPARE(VersionCheck::verdict(local, server), expected);
}

void TestVersionCheck::checkAgainstServer_data()
{
    QTest::addColumn<Site>("site");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Verdict>("expected");

    const QByteArray build = buildVersion().toUtf8();

    QTest::newRow("this build's version") << Site::Serving << 200 << build << Verdict::Current;
    QTest::newRow("line feed after")
        << Site::Serving << 200 << QByteArray(build + "\n") << Verdict::Outdated;
    // Which texts are which verdict is verdict()'s table; here only what the
    // wire adds: the body untouched, an error page's body, no body at all.
    QTest::newRow("empty version file")
        << Site::Serving << 200 << QByteArray() << Verdict::Unreachable;
    QTest::newRow("404 page with a body")
        << Site::Serving << 404 << QByteArray("<html><body>Not Found</body></html>")
        << Verdict::Outdated;
    QTest::newRow("nothing listens")
        << Site::ClosedPort << 0 << QByteArray() << Verdict::Unreachable;
    // The one slow row: the check gives up only once its wait is over.
    QTest::newRow("server never answers")
        << Site::Silent << 0 << QByteArray() << Verdict::Unreachable;
}

void TestVersionCheck::checkAgainstServer()
{
    QFETCH(Site, site);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Verdict, expected);

    QString vendorSite = m_server->baseUrl();
    VendorServer::Response r;
    r.status = status;
    r.body = body;
    r.neverAnswer = site == Site::Silent;
    m_server->setRoute(QString::fromLatin1(kVersionPath), r);
    if (site == Site::ClosedPort) {
        const quint16 port = closedPort();
        QVERIFY(port != 0);
        vendorSite = QStringLiteral("http://127.0.0.1:%1").arg(port);
    }
    m_server->clearRequests();

    VersionCheck check(VendorSite(vendorSite).versionFile(), buildVersion(), kWait);
    QSignalSpy spy(&check, &VersionCheck::finished);
    QVERIFY(spy.isValid());
    QElapsedTimer clock;
    qint64 tookMs = -1;
    connect(&check, &VersionCheck::finished, this, [&] {
        if (tookMs < 0)
            tookMs = clock.elapsed();
    });
    clock.start();
    check.start();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(check.serverVersion(), QString());

    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), int(kWait.count()) + 3000);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(qvariant_cast<Verdict>(spy.first().first()), expected);
    QCOMPARE(check.serverVersion(), QString::fromUtf8(body));
    // Every answer, even none, comes before the wait is over; silence only after it.
    const qint64 wait = kWait.count();
    const bool inTime
        = site == Site::Silent ? tookMs >= wait && tookMs < wait + 1500 : tookMs < wait;
    QVERIFY2(inTime, qPrintable(QString::number(tookMs)));

    if (site != Site::ClosedPort) {
        const QList<VendorServer::Request> requests = m_server->requests();
        QVERIFY(!requests.isEmpty());
        for (const VendorServer::Request &req : requests) {
            QCOMPARE(req.method, QByteArray("GET"));
            QCOMPARE(req.path, kVersionPath);
            QCOMPARE(req.query, QByteArray());
        }
    }
}

// The program may end while the check still waits: nothing may come of it.
void TestVersionCheck::destroyedDuringWaitSaysNothing()
{
    VendorServer::Response r;
    r.body = "9.9";
    r.delayMs = 600;
    m_server->setRoute(QString::fromLatin1(kVersionPath), r);
    m_server->clearRequests();

    const QString versionFile = VendorSite(m_server->baseUrl()).versionFile();
    auto *check = new VersionCheck(versionFile, buildVersion(), kWait);
    QSignalSpy spy(check, &VersionCheck::finished);
    check->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 5000);

    // Asked after the first, so answered after it too.
    VersionCheck witness(versionFile, buildVersion(), kWait);
    QSignalSpy witnessSpy(&witness, &VersionCheck::finished);
    witness.start();

    delete check;
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(witnessSpy.count(), 1, 5000);
    QCOMPARE(qvariant_cast<Verdict>(witnessSpy.first().first()), Verdict::Outdated);
    QCOMPARE(witness.serverVersion(), QStringLiteral("9.9"));
    QCOMPARE(spy.count(), 0);
}

void TestVersionCheck::startedAgainReportsAfresh()
{
    VendorServer::Response old;
    old.body = "9.9";
    m_server->setRoute(QString::fromLatin1(kVersionPath), old);

    VersionCheck check(VendorSite(m_server->baseUrl()).versionFile(), buildVersion(), kWait);
    QSignalSpy spy(&check, &VersionCheck::finished);
    check.start();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    QCOMPARE(qvariant_cast<Verdict>(spy.at(0).first()), Verdict::Outdated);
    QCOMPARE(check.serverVersion(), QStringLiteral("9.9"));

    VendorServer::Response current;
    current.body = buildVersion().toUtf8();
    current.delayMs = 300;
    m_server->setRoute(QString::fromLatin1(kVersionPath), current);
    check.start();
    // Until the new answer is in, the old one is not the server's version.
    QCOMPARE(check.serverVersion(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    QCOMPARE(qvariant_cast<Verdict>(spy.at(1).first()), Verdict::Current);
    QCOMPARE(check.serverVersion(), buildVersion());
}

QTEST_GUILESS_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
