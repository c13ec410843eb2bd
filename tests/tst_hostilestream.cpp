#include "app/tabcontrol.h"
#include "pageprobe.h"
#include "responsiveness.h"
#include "streambytes.h"
#include "viewerfixture.h"

#include <QTest>
#include <QThread>

// A stream server built to the relay's weak points, sending as fast as
// loopback takes it, holds up neither the window nor the next channel.
class tst_HostileStream : public QObject {
    Q_OBJECT
private slots:
    void windowAnswers_data();
    void windowAnswers();
    void cleanup() { m_f.tearDown(); }

private:
    ViewerFixture m_f;
};

void tst_HostileStream::windowAnswers_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("block");
    const StreamBytes::Hostile flood = StreamBytes::tableFlood();
    const StreamBytes::Hostile endless = StreamBytes::endlessTable();
    QTest::newRow("tiny tables flood") << flood.head << flood.block;
    QTest::newRow("a table that never ends, sound stripped") << endless.head << endless.block;
}

void tst_HostileStream::windowAnswers()
{
    VendorServer::Response hostile;
    hostile.contentType = "video/mp2t";
    QFETCH(QByteArray, head);
    hostile.body = head;
    QFETCH(QByteArray, block);
    hostile.endless = block;
    // On a thread of its own: its sending must cost the window nothing.
    QThread thread;
    auto *source = new VendorServer;
    source->setFallback(hostile);
    source->moveToThread(&thread);
    thread.start();
    const auto ask = [source](auto question) {
        decltype(question()) answer {};
        QMetaObject::invokeMethod(source, question, Qt::BlockingQueuedConnection, &answer);
        return answer;
    };
    const auto end = qScopeGuard([&] {
        QMetaObject::invokeMethod(source, &QObject::deleteLater);
        thread.quit();
        thread.wait();
    });
    QVERIFY(ask([source] { return source->listen(); }));

    QVERIFY(m_f.setUp(1));
    m_f.part<TabControl>("tabs")->setCurrentIndex(1);
    QVERIFY(m_f.show());
    m_f.guide()->loadList(QStringLiteral("敌台;%1/live/1.ts\r\n页面台;%2\r\n")
                              .arg(ask([source] { return source->baseUrl(); }), m_f.channelUrl(0)));
    m_f.button("watchButton")->click();
    // Well under way, at loopback speed.
    QTRY_VERIFY_WITH_TIMEOUT(ask([source] { return source->streamedBytes(); }) > 256 << 20, 30000);
    QList<qint64> waits;
    {
        ResponsivenessProbe probe;
        PageProbe::settle(3000);
        waits = probe.waits();
    }
    QVERIFY(waits.size() >= 25);
    const qint64 longest = *std::max_element(waits.cbegin(), waits.cend());
    QVERIFY2(longest < 100, qPrintable(QStringLiteral("the window waited %1 ms").arg(longest)));

    m_f.button("stopButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(ask([source] { return source->openStreamCount(); }), 0, 1000);
    m_f.button("nextButton")->click();
    QVERIFY(waitForLoad(m_f.player()->page(), QUrl(m_f.channelUrl(0)), 10000));
}

VIEWER_TEST_MAIN(tst_HostileStream)
#include "tst_hostilestream.moc"
