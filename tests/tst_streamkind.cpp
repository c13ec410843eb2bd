#include "player/streamkind.h"

#include <QTest>

using Event = ChannelAnswer::Event;
using Step = PlayerReaction::Step;
Q_DECLARE_METATYPE(StreamKind)
Q_DECLARE_METATYPE(Event)
Q_DECLARE_METATYPE(Step)

// What the player does with each answer a channel's address can give.
class tst_StreamKind : public QObject {
    Q_OBJECT
private slots:
    void reactionTo_data();
    void reactionTo();
};

void tst_StreamKind::reactionTo_data()
{
    QTest::addColumn<Event>("event");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("mediaType");
    QTest::addColumn<Step>("step");
    QTest::addColumn<StreamKind>("kind");

    const auto offered = [](const char *row, const char *type, const char *url, StreamKind kind) {
        QTest::newRow(row) << Event::OfferedAsDownload << QString::fromLatin1(url)
                           << QByteArray(type) << Step::ShowStream << kind;
    };
    const auto loaded = [](const char *row, Event event, const char *url, Step step,
                            StreamKind kind) {
        QTest::newRow(row) << event << QString::fromLatin1(url) << QByteArray() << step << kind;
    };
    const char *page = "http://h/live";

    // A download the engine offers: its media type says what it is,
    // parameters, blanks and case aside, and wins over the address.
    offered("apple mpegurl", "application/vnd.apple.mpegurl", page, StreamKind::Hls);
    offered("x-mpegurl, charset", "Application/X-MpegURL; charset=UTF-8", page, StreamKind::Hls);
    offered("audio/mpegurl", "audio/mpegurl", page, StreamKind::Hls);
    offered("flv", "video/x-flv", page, StreamKind::Flv);
    offered("mp2t with blanks", " video/MP2T ", page, StreamKind::MpegTs);
    offered("mp2t at an .flv address", "video/mp2t", "http://h/a.flv", StreamKind::MpegTs);
    // Anything else it would only save cannot be played here.
    offered("zip at a .ts address", "application/zip", "http://h/a.ts", StreamKind::Unsupported);
    offered("mp2t-like prefix", "video/mp2tx", page, StreamKind::Unsupported);
    // No type, or octet-stream: the path decides, never the query or fragment.
    offered("octet-stream relay", "application/octet-stream", "http://h:4022/rtp/239.3.1.2:5140",
        StreamKind::MpegTs);
    offered("octet-stream, .m3u8", "application/octet-stream", "http://h/live/vod.m3u8",
        StreamKind::Hls);
    offered("no type, .m3u8 with query", "", "http://h/a/index.m3u8?token=1", StreamKind::Hls);
    offered("no type, .FLV", "", "http://h/plain/14.FLV", StreamKind::Flv);
    offered("octet-stream, plain address", "application/octet-stream", "http://h/file.bin",
        StreamKind::Unsupported);
    offered("markup in the query", "video/x-flv",
        "http://h/14.flv?q=\"><script>window.pwned=1</script>", StreamKind::Flv);
    offered("markup in the fragment", "", "http://h/14.flv#\"><img src=x onerror=alert(1)>",
        StreamKind::Flv);

    // A failed load: a stream address is retried by the stream page, a page
    // keeps the engine's error page.
    const Event failed = Event::LoadFailed;
    loaded(
        "failed m3u8", failed, "http://h/live/index.m3u8?a=b", Step::ShowStream, StreamKind::Hls);
    loaded("failed m3u", failed, "http://h/radio.m3u", Step::ShowStream, StreamKind::Hls);
    loaded("failed flv", failed, "https://cdn.example/live/ch1.flv", Step::ShowStream,
        StreamKind::Flv);
    loaded("failed ts", failed, "http://h/seg.ts", Step::ShowStream, StreamKind::MpegTs);
    loaded("failed udp relay", failed, "http://h:4022/udp/239.3.1.1:8000", Step::ShowStream,
        StreamKind::MpegTs);
    loaded("failed rtp relay under a prefix", failed, "http://h:8888/iptv/rtp/239.0.0.1:1234",
        Step::ShowStream, StreamKind::MpegTs);
    loaded("failed percent-encoded dot", failed, "http://h/live%2Em3u8", Step::ShowStream,
        StreamKind::Hls);
    loaded("failed page", failed, "http://h/tv/01.htm", Step::KeepPage, StreamKind::None);
    loaded("failed mp4 file", failed, "http://h/a.mp4", Step::KeepPage, StreamKind::None);
    loaded("failed m3u8 directory", failed, "http://h/a.m3u8/", Step::KeepPage, StreamKind::None);
    loaded("failed, m3u8 in the query", failed, "http://h/page?x=.m3u8", Step::KeepPage,
        StreamKind::None);
    loaded("failed, flv in the fragment", failed, "http://h/page#a.flv", Step::KeepPage,
        StreamKind::None);
    loaded("failed, udp as a word", failed, "http://h/udpate/x", Step::KeepPage, StreamKind::None);

    // A page on screen: only a playlist address may be a playlist shown as text.
    const Event shown = Event::LoadSucceeded;
    loaded(
        "shown m3u8", shown, "http://h/live/text.m3u8", Step::LookForPlaylistText, StreamKind::Hls);
    loaded("shown page", shown, "http://h/tv/01.htm", Step::KeepPage, StreamKind::None);
    loaded("shown flv address", shown, "http://h/a.flv", Step::KeepPage, StreamKind::None);

    // Nothing but web addresses is ever fetched as a stream.
    QTest::newRow("file offered") << Event::OfferedAsDownload << QStringLiteral("file:///tmp/a.flv")
                                  << QByteArray("video/x-flv") << Step::KeepPage
                                  << StreamKind::None;
    loaded("failed ftp", failed, "ftp://h/a.m3u8", Step::KeepPage, StreamKind::None);
    loaded("failed, no host", failed, "http:///a.m3u8", Step::KeepPage, StreamKind::None);
    loaded("shown data m3u8", shown, "data:text/plain,a.m3u8", Step::KeepPage, StreamKind::None);
    loaded(
        "shown javascript", shown, "javascript:alert(1)//.m3u8", Step::KeepPage, StreamKind::None);
}

void tst_StreamKind::reactionTo()
{
    QFETCH(Event, event);
    QFETCH(QString, url);
    QFETCH(QByteArray, mediaType);
    QFETCH(Step, step);
    QFETCH(StreamKind, kind);
    const PlayerReaction reaction = StreamKinds::reactionTo({event, QUrl(url), mediaType});
    QCOMPARE(reaction.step, step);
    QCOMPARE(reaction.kind, kind);
}

QTEST_APPLESS_MAIN(tst_StreamKind)
#include "tst_streamkind.moc"
