#include "net/versioncheck.h"
#include "netsupport.h"
#include "vendorserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

namespace {

using Verdict = VersionCheck::Verdict;

// Where the check looks for the version file.
enum class Site {
    Serving, // the fixture server, answering with the row's status and body
    ClosedPort, // nothing listens
    Silent, // the fixture server takes the request and never answers
};

const QByteArray kVersionPath = "/version/zavo.txt";

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
    QTest::addColumn<QString>("local");
    QTest::addColumn<Verdict>("expected");
    QTest::addColumn<int>("earliestMs");
    QTest::addColumn<int>("latestMs");

    const QString build = buildVersion();
    const QByteArray buildBytes = build.toUtf8();

    QTest::newRow("this build's version")
        << Site::Serving << 200 << buildBytes << build << Verdict::Current << 0 << 3000;
    QTest::newRow("line feed after") << Site::Serving << 200 << QByteArray(buildBytes + "\n")
                                     << build << Verdict::Outdated << 0 << 3000;
    QTest::newRow("CR LF after") << Site::Serving << 200 << QByteArray(buildBytes + "\r\n") << build
                                 << Verdict::Outdated << 0 << 3000;
    QTest::newRow("lower version") << Site::Serving << 200 << QByteArray("1.0")
                                   << QStringLiteral("1.1") << Verdict::Outdated << 0 << 3000;
    QTest::newRow("higher version") << Site::Serving << 200 << QByteArray("2.0")
                                    << QStringLiteral("1.1") << Verdict::Outdated << 0 << 3000;
    QTest::newRow("1.10 is not 1.1") << Site::Serving << 200 << QByteArray("1.10")
                                     << QStringLiteral("1.1") << Verdict::Outdated << 0 << 3000;
    QTest::newRow("empty version file")
        << Site::Serving << 200 << QByteArray() << build << Verdict::Unreachable << 0 << 3000;
    QTest::newRow("404 page with a body")
        << Site::Serving << 404 << QByteArray("<html><body>Not Found</body></html>") << build
        << Verdict::Outdated << 0 << 3000;
    QTest::newRow("nothing listens")
        << Site::ClosedPort << 0 << QByteArray() << build << Verdict::Unreachable << 0 << 3000;
    // The one slow row: the check gives up only once its 15 seconds are over.
    QTest::newRow("server never answers")
        << Site::Silent << 0 << QByteArray() << build << Verdict::Unreachable << 15000 << 16500;
}

void TestVersionCheck::checkAgainstServer()
{
    QFETCH(Site, site);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, local);
    QFETCH(Verdict, expected);
    QFETCH(int, earliestMs);
    QFETCH(int, latestMs);

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

    VersionCheck check(vendorSite, local);
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

    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), latestMs + 2000);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(qvariant_cast<Verdict>(spy.first().first()), expected);
    QCOMPARE(check.serverVersion(), QString::fromUtf8(body));
    QVERIFY2(tookMs >= earliestMs && tookMs < latestMs, qPrintable(QString::number(tookMs)));

    if (site != Site::ClosedPort) {
        const QList<VendorServer::Request> requests = m_server->requests();
        QVERIFY(!requests.isEmpty());
        for (const VendorServer::Request &req : requests) {
            QCOMPARE(req.method, QByteArray("GET"));
            QCOMPARE(req.path, kVersionPath);
            QCOMPARE(req.query, QByteArray());
            QCOMPARE(countHeader(req, "Cookie"), 1);
            QCOMPARE(req.header("Cookie"), QByteArray());
            QCOMPARE(countHeader(req, "If-Modified-Since"), 1);
            QCOMPARE(req.header("If-Modified-Since"), QByteArray("0"));
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

    auto *check = new VersionCheck(m_server->baseUrl(), buildVersion());
    QSignalSpy spy(check, &VersionCheck::finished);
    check->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 5000);

    // Asked after the first, so answered after it too.
    VersionCheck witness(m_server->baseUrl(), buildVersion());
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

    VersionCheck check(m_server->baseUrl(), buildVersion());
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
