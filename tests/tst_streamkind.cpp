#include "net/streamkind.h"

#include <QTest>

Q_DECLARE_METATYPE(StreamKind)

class tst_StreamKind : public QObject {
    Q_OBJECT
private slots:
    void fromAnswer_data();
    void fromAnswer();
    void fromAddress_data();
    void fromAddress();
};

void tst_StreamKind::fromAnswer_data()
{
    QTest::addColumn<QByteArray>("mediaType");
    QTest::addColumn<QString>("url");
    QTest::addColumn<StreamKind>("kind");

    const QString page = QStringLiteral("http://h/live");
    QTest::newRow("apple mpegurl")
        << QByteArray("application/vnd.apple.mpegurl") << page << StreamKind::Hls;
    QTest::newRow("x-mpegurl, upper case, charset")
        << QByteArray("Application/X-MpegURL; charset=UTF-8") << page << StreamKind::Hls;
    QTest::newRow("audio/mpegurl") << QByteArray("audio/mpegurl") << page << StreamKind::Hls;
    QTest::newRow("flv") << QByteArray("video/x-flv") << page << StreamKind::Flv;
    QTest::newRow("mp2t with blanks") << QByteArray(" video/MP2T ") << page << StreamKind::MpegTs;
    // The type wins over the address.
    QTest::newRow("mp2t at an .flv address")
        << QByteArray("video/mp2t") << QStringLiteral("http://h/a.flv") << StreamKind::MpegTs;
    // Nothing useful said: the address decides.
    QTest::newRow("octet-stream relay")
        << QByteArray("application/octet-stream")
        << QStringLiteral("http://h:4022/rtp/239.3.1.2:5140") << StreamKind::MpegTs;
    QTest::newRow("no type, .m3u8")
        << QByteArray() << QStringLiteral("http://h/a/index.m3u8?token=1") << StreamKind::Hls;
    QTest::newRow("octet-stream, .flv") << QByteArray("application/octet-stream")
                                        << QStringLiteral("http://h/x.FLV") << StreamKind::Flv;
    // Anything else the engine would only download cannot be played here.
    QTest::newRow("octet-stream, plain address")
        << QByteArray("application/octet-stream") << QStringLiteral("http://h/file.bin")
        << StreamKind::Unsupported;
    QTest::newRow("zip at a .ts address")
        << QByteArray("application/zip") << QStringLiteral("http://h/a.ts")
        << StreamKind::Unsupported;
    QTest::newRow("mp2t-like prefix")
        << QByteArray("video/mp2tx") << page << StreamKind::Unsupported;
}

void tst_StreamKind::fromAnswer()
{
    QFETCH(QByteArray, mediaType);
    QFETCH(QString, url);
    QFETCH(StreamKind, kind);
    QCOMPARE(StreamKinds::fromAnswer(mediaType, QUrl(url)), kind);
}

void tst_StreamKind::fromAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<StreamKind>("kind");

    QTest::newRow("m3u8 with query") << "http://h/live/index.m3u8?a=b" << StreamKind::Hls;
    QTest::newRow("m3u") << "http://h/radio.m3u" << StreamKind::Hls;
    QTest::newRow("flv") << "https://cdn.example/live/ch1.flv" << StreamKind::Flv;
    QTest::newRow("ts") << "http://h/seg.ts" << StreamKind::MpegTs;
    QTest::newRow("udp relay") << "http://h:4022/udp/239.3.1.1:8000" << StreamKind::MpegTs;
    QTest::newRow("rtp relay under a prefix")
        << "http://h:8888/iptv/rtp/239.0.0.1:1234" << StreamKind::MpegTs;
    QTest::newRow("percent-encoded dot") << "http://h/live%2Em3u8" << StreamKind::Hls;
    // Only the path counts, not the query or the fragment.
    QTest::newRow("m3u8 in the query") << "http://h/page?x=.m3u8" << StreamKind::None;
    QTest::newRow("flv in the fragment") << "http://h/page#a.flv" << StreamKind::None;
    QTest::newRow("udp as a word") << "http://h/udpate/x" << StreamKind::None;
    QTest::newRow("page") << "http://h/tv/01.htm" << StreamKind::None;
    QTest::newRow("mp4 file") << "http://h/a.mp4" << StreamKind::None;
    QTest::newRow("m3u8 directory") << "http://h/a.m3u8/" << StreamKind::None;
}

void tst_StreamKind::fromAddress()
{
    QFETCH(QString, url);
    QFETCH(StreamKind, kind);
    QCOMPARE(StreamKinds::fromAddress(QUrl(url)), kind);
}

QTEST_APPLESS_MAIN(tst_StreamKind)
#include "tst_streamkind.moc"
