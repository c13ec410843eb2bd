#include "player/sourceverdict.h"
#include "player/streamkind.h"

#include <QTest>

using Event = ChannelAnswer::Event;
using Step = PlayerReaction::Step;
Q_DECLARE_METATYPE(StreamKind)
Q_DECLARE_METATYPE(Event)
Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(SourceStep)

// What the player does with each answer a channel's address can give.
class tst_StreamKind : public QObject {
    Q_OBJECT
private slots:
    void reactionTo_data();
    void reactionTo();
    void verdict_data();
    void verdict();
};

void tst_StreamKind::reactionTo_data()
{
    QTest::addColumn<Event>("event");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("mediaType");
    QTest::addColumn<QByteArray>("body"); // "=" first: the answer's own bytes, fetched
    QTest::addColumn<Step>("step");
    QTest::addColumn<StreamKind>("kind");

    const auto offered = [](const char *row, const char *type, const char *url, StreamKind kind) {
        QTest::newRow(row) << Event::OfferedAsDownload << QString::fromLatin1(url)
                           << QByteArray(type) << QByteArray() << Step::ShowStream << kind;
    };
    const auto loaded
        = [](const char *row, Event event, const char *url, Step step, StreamKind kind) {
              QTest::newRow(row) << event << QString::fromLatin1(url) << QByteArray()
                                 << QByteArray() << step << kind;
          };
    const auto looked = [](const char *row, Event event, const char *type, QByteArray body,
                            Step step, StreamKind kind) {
        QTest::newRow(row) << event << QStringLiteral("http://h/live.php?id=1") << QByteArray(type)
                           << body << step << kind;
    };
    QByteArray ts(3 * 188, '\x11');
    ts[0] = ts[188] = ts[376] = 0x47;
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
    // Else the first bytes decide.
    const Event download = Event::OfferedAsDownload;
    looked("octet-stream script: look", download, "application/octet-stream", "", Step::LookAtBody,
        StreamKind::None);
    looked("no type: look", download, "", "", Step::LookAtBody, StreamKind::None);
    looked("text sniffed as binary: look", download, "text/plain", "", Step::LookAtBody,
        StreamKind::None);
    looked("fetched playlist", download, "", "=\xEF\xBB\xBF \r\n#EXTM3U\n#EXTINF:2,\na.ts",
        Step::ShowStream, StreamKind::Hls);
    looked("fetched FLV", download, "application/octet-stream", "=FLV\x01\x05\0\0\0\x09",
        Step::ShowStream, StreamKind::Flv);
    looked("fetched TS", download, "", "=" + ts, Step::ShowStream, StreamKind::MpegTs);
    looked("fetched, one sync byte is chance", download, "", "=G" + QByteArray(400, 'x'),
        Step::ShowStream, StreamKind::Unsupported);
    looked("fetched, nothing known", download, "application/octet-stream", "=PK\x03\x04",
        Step::ShowStream, StreamKind::Unsupported);
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

    // A page with markup stays one, whatever its address.
    const Event shown = Event::ShownAsPage;
    loaded("page at an m3u8 address", shown, "http://h/live/text.m3u8", Step::KeepPage,
        StreamKind::None);
    loaded("page", shown, "http://h/tv/01.htm", Step::KeepPage, StreamKind::None);
    // Nothing but text: a playlist whatever the address and type; bytes
    // that are no text are looked at as bytes.
    const Event text = Event::ShownAsText;
    looked("playlist as text/html", text, "text/html", "#EXTM3U\n#EXT-X-VERSION:3",
        Step::ShowStream, StreamKind::Hls);
    looked("playlist as text/plain, blanks first", text, "text/plain", "\n \t#EXTM3U",
        Step::ShowStream, StreamKind::Hls);
    looked("playlist after a byte-order mark", text, "text/html", "\xEF\xBB\xBF#EXTM3U",
        Step::ShowStream, StreamKind::Hls);
    looked("text that mentions a playlist", text, "text/html", "use #EXTM3U", Step::KeepPage,
        StreamKind::None);
    looked("words", text, "text/plain", "Not Found\r\n", Step::KeepPage, StreamKind::None);
    looked(
        "FLV read as text", text, "text/html", "FLV\x01\x05\t", Step::LookAtBody, StreamKind::None);
    looked("TS read as text", text, "text/html", "G@\x11\x10B\xEF\xBF\xBD%\x01", Step::LookAtBody,
        StreamKind::None);
    looked("fetched TS of a text page", text, "text/html", "=" + ts, Step::ShowStream,
        StreamKind::MpegTs);
    looked("fetched, no stream after all", text, "text/html", "=G\x01\x02", Step::KeepPage,
        StreamKind::None);

    // Nothing but web addresses is ever fetched as a stream.
    QTest::newRow("file offered") << Event::OfferedAsDownload << QStringLiteral("file:///tmp/a.flv")
                                  << QByteArray("video/x-flv") << QByteArray() << Step::KeepPage
                                  << StreamKind::None;
    loaded("failed ftp", failed, "ftp://h/a.m3u8", Step::KeepPage, StreamKind::None);
    loaded("failed, no host", failed, "http:///a.m3u8", Step::KeepPage, StreamKind::None);
    QTest::newRow("data text") << text << QStringLiteral("data:text/plain,#EXTM3U")
                               << QByteArray("text/plain") << QByteArray("#EXTM3U")
                               << Step::KeepPage << StreamKind::None;
}

void tst_StreamKind::reactionTo()
{
    QFETCH(Event, event);
    QFETCH(QString, url);
    QFETCH(QByteArray, mediaType);
    QFETCH(QByteArray, body);
    QFETCH(Step, step);
    QFETCH(StreamKind, kind);
    const bool fetched = body.startsWith('=');
    const PlayerReaction reaction = StreamKinds::reactionTo(
        {event, QUrl(url), mediaType, fetched ? body.mid(1) : body, fetched});
    QCOMPARE(reaction.step, step);
    QCOMPARE(reaction.kind, kind);
}

// What becomes of a source that has not played, or has, when it fails.
void tst_StreamKind::verdict_data()
{
    QTest::addColumn<QString>("failure"); // "load <code>" from the engine, or the page's word
    QTest::addColumn<bool>("played");
    QTest::addColumn<int>("failures"); // this one included
    QTest::addColumn<bool>("late"); // past the first picture's bound
    QTest::addColumn<SourceStep>("step");

    const auto row = [](const char *name, const char *failure, bool played, int failures, bool late,
                         SourceStep step) {
        QTest::newRow(name) << QString::fromLatin1(failure) << played << failures << late << step;
    };
    const SourceStep retry = SourceStep::Retry, judge = SourceStep::Judge;
    const SourceStep reconnect = SourceStep::Reconnect;
    // Never played: what will not heal gets one quick retry.
    row("refused, first", "load -102", false, 1, false, retry);
    row("refused again", "page unreachable", false, 2, false, judge);
    row("no such host", "load -105", false, 2, false, judge);
    row("TLS failure", "load -107", false, 2, false, judge);
    row("certificate", "load -202", false, 2, false, judge);
    row("404, first", "load 404", false, 1, false, retry);
    row("404 again", "page 404", false, 2, false, judge);
    row("410 after a refusal", "page 410", false, 2, false, judge);
    // What may heal is retried until the bound.
    row("503", "page 503", false, 5, false, retry);
    row("503 past the bound", "page 503", false, 5, true, judge);
    row("connection reset", "load -101", false, 3, false, retry);
    row("timed out", "load -118", false, 2, false, retry);
    row("silence past the bound", "page timeout", false, 1, true, judge);
    row("undecodable", "page format", false, 1, false, judge);
    // Played before: reconnected as always.
    row("played, refused", "page unreachable", true, 4, true, reconnect);
    row("played, 404", "page 404", true, 2, false, reconnect);
    row("played, undecodable", "page format", true, 1, false, reconnect);
}

void tst_StreamKind::verdict()
{
    QFETCH(QString, failure);
    QFETCH(bool, played);
    QFETCH(int, failures);
    QFETCH(bool, late);
    QFETCH(SourceStep, step);
    const SourceFailure f = failure.startsWith(QLatin1String("load "))
        ? SourceFailures::fromLoadError(failure.mid(5).toInt())
        : SourceFailures::fromPage(QStringView(failure).mid(5));
    QCOMPARE(SourceFailures::step(f, {played, failures, late}), step);
}

QTEST_APPLESS_MAIN(tst_StreamKind)
#include "tst_streamkind.moc"
