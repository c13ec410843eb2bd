#include "player/datagrams.h"
#include "player/flvreframer.h"
#include "player/hlsplaylist.h"
#include "player/streamcodecs.h"
#include "player/tsreframer.h"
#include "streambytes.h"
#include "streamchecks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <map>

using Action = StreamVerdict::Action;
using C = Codec;
using B = QByteArray;
using namespace StreamBytes;
Q_DECLARE_METATYPE(Codec)
Q_DECLARE_METATYPE(StreamCodecs)
Q_DECLARE_METATYPE(Action)

namespace {

// QFETCH as an expression.
template<typename T>
const T &fetched(const char *column)
{
    return *static_cast<const T *>(QTest::qData(column, qMetaTypeId<T>()));
}

const auto metadata = [](bool sound) {
    return B("\x02\x00\x0AonMetaData\x08\x00\x00\x00\x01\x00\x08hasAudio\x01", 29) + char(sound);
};

B rtp(const B &payload, int csrcs, int extensionWords, int padding)
{
    B bytes = char(0x80 | (padding ? 0x20 : 0) | (extensionWords >= 0 ? 0x10 : 0) | csrcs)
        + B("\x21\x00\x07", 3) + B(8 + 4 * csrcs, '\x5A');
    if (extensionWords >= 0)
        bytes += bigEndian(0xBEDE0000 | extensionWords, 4) + B(4 * extensionWords, 'e');
    return bytes + payload + B(std::max(padding - 1, 0), '\0') + B(padding ? 1 : 0, char(padding));
}

// What each reader's fuzzer checks.
const std::map<QString, QString (*)(const QByteArray &)> checks {{"ts", StreamChecks::ts},
    {"flv", StreamChecks::flv}, {"hls", StreamChecks::hls}, {"rtp", StreamChecks::rtp},
    {"requesthead", StreamChecks::requestHead}, {"headerlist", StreamChecks::headerList}};

// The picture and sound decoders a Chromium engine has.
const QSet<Codec> engine {C::H264, C::Aac, C::MpegAudio, C::Vp8, C::Vp9, C::Av1, C::Opus};

} // namespace

class tst_StreamBytes : public QObject {
    Q_OBJECT
private slots:
    void verdict_data()
    {
        QTest::addColumn<QList<StreamCodecs>>("variants");
        QTest::addColumn<QSet<Codec>>("decodable");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, QList<StreamCodecs> variants, Action action,
                             const char *message, QSet<Codec> decodable = engine) {
            QTest::newRow(name) << variants << decodable << action << QString::fromUtf8(message);
        };
        const Action play = Action::Play, mute = Action::PlayWithoutSound, refuse = Action::Refuse;
        row("h264 aac", {{C::H264, C::Aac}}, play, "");
        row("mp3 alone", {{C::None, C::MpegAudio}}, play, "");
        row("h265 aac", {{C::H265, C::Aac}}, refuse, "格式不支持（H.265 视频）");
        row("mpeg2 mp2", {{C::Mpeg2Video, C::MpegAudio}}, refuse, "格式不支持（MPEG-2 视频）");
        row("h265 ac3: picture first", {{C::H265, C::Ac3}}, refuse, "格式不支持（H.265 视频）");
        row("h264 ac3", {{C::H264, C::Ac3}}, mute, "不支持此伴音格式（AC-3）");
        row("vp9 eac3", {{C::Vp9, C::Eac3}}, mute, "不支持此伴音格式（E-AC-3）");
        row("ac3 alone", {{C::None, C::Ac3}}, refuse, "格式不支持（AC-3 音频）");
        row("unknown picture, ac3", {{C::Unknown, C::Ac3}}, mute, "不支持此伴音格式（AC-3）");
        row("h264, unknown sound", {{C::H264, C::Unknown}}, play, "");
        row("other picture", {{C::OtherVideo, C::Aac}}, refuse, "格式不支持（未知视频）");
        row("h265 where it decodes", {{C::H265, C::Aac}}, play, "", engine + QSet {C::H265});
        row("no variants", {}, play, "");
        row("best: no sound", {{C::H265, C::Aac}, {C::H264, C::Ac3}}, mute,
            "不支持此伴音格式（AC-3）");
        row("best: the last plays", {{C::H265, C::Ac3}, {C::H264, C::Eac3}, {C::H264, C::Aac}},
            play, "");
        row("none: the first named", {{C::Mpeg2Video, C::Aac}, {C::H265, C::Aac}}, refuse,
            "格式不支持（MPEG-2 视频）");
        row("no sound: the first named", {{C::H264, C::Ac3}, {C::H264, C::Eac3}}, mute,
            "不支持此伴音格式（AC-3）");
    }
    void verdict()
    {
        QFETCH(QList<StreamCodecs>, variants);
        QFETCH(QSet<Codec>, decodable);
        const StreamVerdict verdict = judge(variants, decodable);
        QCOMPARE(verdict.action, fetched<Action>("action"));
        QCOMPARE(verdict.message, fetched<QString>("message"));
        if (variants.size() == 1)
            QCOMPARE(judge(variants.first(), decodable).message, verdict.message);
    }

    void codecEntry_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<Codec>("codec");
        const QList<std::pair<const char *, Codec>> rows {{"avc1.64001f", C::H264},
            {"avc3.4d401e", C::H264}, {"hvc1.1.6.L93.B0", C::H265}, {"hev1.2.4.L120.90", C::H265},
            {"mp4a.40.2", C::Aac}, {" mp4a.40.5 ", C::Aac}, {"mp4a.40.34", C::MpegAudio},
            {"mp4a.69", C::MpegAudio}, {"mp4a.6B", C::MpegAudio}, {"mp4v.6A", C::Mpeg1Video},
            {"mp4v.61", C::Mpeg2Video}, {"mp4v.20.9", C::Mpeg4Video}, {"ac-3", C::Ac3},
            {"ec-3", C::Eac3}, {"Opus", C::Opus}, {"vp09.00.10.08", C::Vp9}, {"vp8", C::Vp8},
            {"av01.0.04M.08", C::Av1}, {"dtsc", C::Dts}, {"stpp.ttml.im1t", C::Unknown},
            {"mp4a.zz", C::Unknown}, {"", C::Unknown}};
        for (const auto &[entry, codec] : rows)
            QTest::newRow(entry) << B(entry) << codec;
    }
    void codecEntry()
    {
        QFETCH(Codec, codec);
        QCOMPARE(Codecs::fromCodecString(fetched<B>("entry")), codec);
        const QLatin1String key = Codecs::key(codec); // the page's name, back and forth
        QCOMPARE(Codecs::fromKey(B(key.data(), key.size())), key.isEmpty() ? C::Unknown : codec);
    }

    void tsStream_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("packets"); // empty: the bytes themselves
        QTest::addColumn<StreamCodecs>("codecs"); // Unknown, Unknown: the program is not known
        const auto program = [](const char *name, const B &streams, StreamCodecs codecs) {
            QTest::newRow(name) << pat + media + pmt(streams) + media << B() << codecs;
        };
        const auto reg = [](const char *format) { return B("\x05\x04", 2) + format; };
        program("h265 ac3", stream(0x24, 1) + stream(0x81, 2), {C::H265, C::Ac3});
        program("mpeg2 mp2", stream(0x02, 1) + stream(0x04, 2), {C::Mpeg2Video, C::MpegAudio});
        program("first audio counts", stream(0x81, 2) + stream(0x1B, 1) + stream(0x0F, 3),
            {C::H264, C::Ac3});
        program("splice cues, subtitles",
            stream(0x86, 9) + stream(0x06, 8, B("\x59\x00", 2)) + stream(0x1B, 1) + stream(0x11, 2),
            {C::H264, C::Aac});
        program("private ac3", stream(0x1B, 1) + stream(0x06, 2, B("\x0A\4chi\0\x6A\1\0", 9)),
            {C::H264, C::Ac3});
        program("registered", stream(0x06, 1, reg("HEVC")) + stream(0x06, 2, reg("EAC3")),
            {C::H265, C::Eac3});
        program("registered opus", stream(0x06, 2, reg("Opus")), {C::None, C::Opus});
        program(
            "lying descriptor", stream(0x1B, 1) + stream(0x06, 2, "\x6A\x7F"), {C::H264, C::Ac3});
        program("data only", stream(0x86, 9), {});
        const B clean = pat + pmt(h264Aac) + media + media;
        const StreamCodecs ok {C::H264, C::Aac};
        QTest::newRow("h264 aac, clean") << clean << clean << ok;
        QTest::newRow("garbage first") << B("\x47\x00G\x47xx", 6) + clean << clean << ok;
        QTest::newRow("mid-packet start") << media.mid(100) + clean << media.mid(188) + clean << ok;
        QTest::newRow("sync lost") << clean.left(376) + "\x47junk" + clean.mid(376) << clean << ok;
        QTest::newRow("bytes lost")
            << clean.left(664) + clean.mid(670) << clean.left(564) + clean.mid(752) << ok;
        const B wrong = pat + pmt(h264Aac).replace(17, 1, "\x0F") + media; // AAC, checksum not
        QTest::newRow("checksum wrong") << wrong << wrong << StreamCodecs {C::Unknown, C::Unknown};
    }
    void tsStream()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(StreamCodecs, codecs);
        QCOMPARE(mpegCrc32("123456789"), 0x0376E6E7u); // the published check value
        for (int split = 0; split <= bytes.size(); ++split) {
            TsReframer reframer;
            reframer.push(bytes.left(split));
            B out = reframer.take();
            reframer.push(bytes.mid(split) + "\x47"); // the sync byte that ends the last packet
            out += reframer.take();
            QCOMPARE(out, fetched<B>("packets").isEmpty() ? bytes : fetched<B>("packets"));
            QCOMPARE(reframer.pending(), 1);
            QCOMPARE(reframer.programKnown(), codecs.video != C::Unknown);
            QCOMPARE(reframer.programKnown() ? reframer.codecs() : codecs, codecs);
        }
    }

    void tsDropAudio_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<Codec>("audio"); // left in a table it cannot rewrite
        const B streams = h264Aac + stream(0x81, 0x102) + stream(0x86, 0x1F0);
        QTest::newRow("table in one packet") << pmt(streams) << C::None;
        QTest::newRow("table over three packets") << pmt(streams, 400) << C::None;
        QTest::newRow("table after a pointer") << pmt(streams, 0, 5) << C::Aac;
    }
    void tsDropAudio()
    {
        QFETCH(QByteArray, table);
        const B kept = packet(0x100, "v") + packet(0x100, "v", false, 1) + packet(0x1F0, "cue");
        TsReframer reframer; // what is not taken yet loses its sound too
        reframer.push(pat + table + media + packet(0x102, "ac3") + packet(0x1F0, "cue"));
        reframer.setDropAudio(true);
        for (const char byte : table + media + packet(0x102, "ac3") + packet(0x1F0, "cue") + "\x47")
            reframer.push(QByteArrayView(&byte, 1)); // in the smallest pieces
        const B dropped = reframer.take();
        QCOMPARE(dropped, pat + (dropped.mid(pat.size(), table.size()) + kept).repeated(2));
        TsReframer again; // reads only tables whose checksums hold
        again.push(dropped + "\x47");
        QVERIFY(again.programKnown());
        QCOMPARE(again.codecs(), (StreamCodecs {C::H264, fetched<Codec>("audio")}));
    }

    void flvCodecs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<StreamCodecs>("codecs"); // Unknown, Unknown: not known yet
        const auto row = [](const char *name, char flags, const B &tags, StreamCodecs codecs) {
            QTest::newRow(name) << flvHeader(flags) + tags << codecs;
        };
        const B h264 = flvTag(9, "\x17\x01"), aac = flvTag(8, "\xAF\x01");
        const StreamCodecs notYet {C::Unknown, C::Unknown}, h264Alone {C::H264, C::None};
        row("h264 aac", 5, flvTag(18, metadata(true)) + h264 + aac, {C::H264, C::Aac});
        row("h265 mp3", 5, flvTag(9, "\x1C\x01") + flvTag(8, "\x2F"), {C::H265, C::MpegAudio});
        row("enhanced hevc, speex", 5, flvTag(8, "\xB6") + flvTag(9, "\x90hvc1"),
            {C::H265, C::OtherAudio});
        row("enhanced av1, ac-3", 5,
            flvTag(9, B("\x91\x61v01", 5)) + flvTag(8, B("\x90\x61\x63-3", 5)), {C::Av1, C::Ac3});
        row("enhanced multitrack opus", 4, flvTag(8, B("\x95\x00Opus", 6)), {C::None, C::Opus});
        row("sorenson, pcm", 5, flvTag(9, "\x22") + flvTag(8, "\x3E"), {C::OtherVideo, C::Lpcm});
        row("picture alone announced", 1, h264, h264Alone);
        row("sound awaited", 5, h264 + flvTag(9, "\x27", 2999), notYet);
        row("sound absent for 3 s", 5, h264 + flvTag(9, "\x27", 3000), h264Alone);
        row("sound absent for 2 MiB", 5, h264 + flvTag(9, B(2 << 20, '\x27')), h264Alone);
        row("lying size", 5, h264.left(1) + "\xFF\xFF\xFF" + h264.mid(4), notYet);
        QTest::newRow("no flv") << B("FLX\x01\x05") + h264 << notYet;
    }
    void flvCodecs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(StreamCodecs, codecs);
        FlvReframer whole, bytewise;
        whole.push(bytes);
        for (const char byte : bytes.left(4000))
            bytewise.push(QByteArrayView(&byte, 1));
        bytewise.push(bytes.mid(4000));
        for (const FlvReframer *reframer : {&whole, &bytewise}) {
            QCOMPARE(reframer->codecsKnown(), codecs.video != C::Unknown);
            QCOMPARE(reframer->codecsKnown() ? reframer->codecs() : codecs, codecs);
        }
        const B out = whole.take();
        QCOMPARE(bytewise.take(), out);
        QCOMPARE(out + bytes.right(whole.pending()), bytes); // nothing dropped, nothing made up
    }

    void flvDropAudio_data()
    {
        QTest::addColumn<int>("pushedBefore");
        QTest::addColumn<bool>("takenBefore");
        QTest::addColumn<char>("flags");
        QTest::newRow("from the start") << 0 << false << '\x01';
        QTest::newRow("header read, not taken") << 10 << false << '\x01';
        QTest::newRow("all read, not taken") << 200 << false << '\x01';
        QTest::newRow("header taken") << 10 << true << '\x05';
    }
    void flvDropAudio()
    {
        QFETCH(int, pushedBefore);
        const B first = flvTag(9, "\x17\x01", 0), second = flvTag(9, "\x27\x01", 40);
        const B bytes = flvHeader(5) + flvTag(18, metadata(true)) + flvTag(8, "\xAF\x01") + first
            + flvTag(8, "\xAF\x01", 10) + second;
        FlvReframer reframer;
        reframer.push(bytes.left(pushedBefore));
        B out = fetched<bool>("takenBefore") ? reframer.take() : B();
        reframer.setDropAudio(true);
        reframer.push(bytes.mid(pushedBefore));
        QCOMPARE(out + reframer.take(),
            flvHeader(fetched<char>("flags")) + flvTag(18, metadata(false)) + first + second);
    }

    void realStreams_data()
    {
        QTest::addColumn<QString>("encoding"); // picture, sound, container
        QTest::addColumn<StreamCodecs>("codecs");
        QTest::newRow("ts h264 ac3") << "libx264 ac3 mpegts" << StreamCodecs {C::H264, C::Ac3};
        QTest::newRow("ts mpeg2 mp2")
            << "mpeg2video mp2 mpegts" << StreamCodecs {C::Mpeg2Video, C::MpegAudio};
        QTest::newRow("flv h264 aac") << "libx264 aac flv" << StreamCodecs {C::H264, C::Aac};
    }
    void realStreams()
    {
        if (QStandardPaths::findExecutable("ffprobe").isEmpty())
            QSKIP("no ffmpeg here");
        QTemporaryDir dir;
        const QStringList encoding = fetched<QString>("encoding").split(' ');
        QProcess::execute("ffmpeg",
            {"-v", "error", "-f", "lavfi", "-i", "testsrc=d=1:s=160x120", "-f", "lavfi", "-i",
                "sine=d=1", "-c:v", encoding[0], "-c:a", encoding[1], "-f", encoding[2],
                dir.filePath("in")});
        QFile in(dir.filePath("in")), out(dir.filePath("out"));
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        TsReframer ts;
        FlvReframer flv;
        ts.setDropAudio(true);
        flv.setDropAudio(true);
        const bool isFlv = encoding[2] == "flv";
        for (B chunk; !(chunk = in.read(1000)).isEmpty();)
            out.write(isFlv ? (flv.push(chunk), flv.take()) : (ts.push(chunk), ts.take()));
        out.close();
        QVERIFY(isFlv ? flv.codecsKnown() : ts.programKnown());
        QCOMPARE(isFlv ? flv.codecs() : ts.codecs(), fetched<StreamCodecs>("codecs"));
        QProcess probe; // what a real reader finds in what is left
        probe.start(
            "ffprobe", {"-v", "error", "-show_entries", "stream=codec_type", out.fileName()});
        QVERIFY(probe.waitForFinished(60000));
        QCOMPARE(probe.readAllStandardError(), B());
        const B streams = probe.readAllStandardOutput();
        QVERIFY(streams.contains("codec_type=video") && !streams.contains("codec_type=audio"));
    }

    void datagram_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("ts");
        const B ts = (pat + pmt(h264Aac) + media).repeated(2).left(7 * 188);
        QTest::newRow("plain") << ts << ts;
        QTest::newRow("plain, cut") << ts.chopped(1) << B();
        QTest::newRow("rtp") << rtp(ts, 0, -1, 0) << ts;
        QTest::newRow("rtp, extension") << rtp(ts, 0, 2, 0) << ts;
        QTest::newRow("rtp, padding") << rtp(ts.left(376), 0, -1, 4) << ts.left(376);
        QTest::newRow("rtp, all") << rtp(ts, 15, 0, 1) << ts;
        QTest::newRow("rtp, no ts") << rtp(B(188, 'x'), 0, -1, 0) << B();
        QTest::newRow("rtp, lying sources") << rtp({}, 15, -1, 0).left(20) << B();
        QTest::newRow("rtp, lying extension")
            << rtp(ts.left(188), 0, 0, 0).replace(14, 2, "\xFF\xFF") << B();
        QTest::newRow("rtp, lying padding") << rtp(ts.left(188), 0, -1, 255).right(205) << B();
        QTest::newRow("short") << B("\x80\x21", 2) << B();
    }
    void datagram() { QCOMPARE(Datagrams::tsPayload(fetched<B>("datagram")), fetched<B>("ts")); }

    void address_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("source"); // "" when invalid
        const auto row = [](const char *url, const char *source = "") {
            QTest::newRow(url) << QString(url) << QString(source);
        };
        row("udp://@239.1.1.1:5000", "udp 239.1.1.1:5000");
        row("udp://239.1.1.1:5000/", "udp 239.1.1.1:5000");
        row("udp://10.0.0.5@232.1.1.1:1234", "udp 232.1.1.1:1234 from 10.0.0.5");
        row("rtp://@239.3.1.2:5140", "rtp 239.3.1.2:5140");
        row("RTP://10.1.1.1@239.3.1.2:65535", "rtp 239.3.1.2:65535 from 10.1.1.1");
        row("udp://192.168.1.10:1234", "udp 192.168.1.10:1234");
        for (const char *url : {"udp://@239.1.1.1", "udp://@239.1.1.1:0", "udp://@239.1.1.1:65536",
                 "udp://[ff02::1]:5000", "udp://tv.example:5000", "udp://1.2.3@239.1.1.1:5000",
                 "udp://@0.0.0.0:5000", "udp://@239.1.1.1:5000/x", "http://239.1.1.1:5000"})
            row(url);
    }
    void address()
    {
        const Datagrams::Source s = Datagrams::parse(QUrl(fetched<QString>("url")));
        const QString from = s.source.isNull() ? "" : " from " + s.source.toString();
        QCOMPARE(s.valid()
                ? QString("%1 %2:%3%4")
                      .arg(s.rtp ? "rtp" : "udp", s.group.toString(), QString::number(s.port), from)
                : QString(),
            fetched<QString>("source"));
    }

    void playlistRewrite_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QByteArray>("rewritten");
        const auto row = [](const char *name, const char *text, const char *rewritten,
                             const char *base = "http://a/live/index.m3u8") {
            QTest::newRow(name) << B(text) << base << B(rewritten);
        };
        row("relative, rooted, absolute; line ends, mark",
            "\xEF\xBB\xBF\n#EXTM3U\r\n#EXTINF:4,\r\ns.ts\r/x/a.ts\n\n#\nhttps://c/b.ts",
            "#EXTM3U\n#EXTINF:4,\n<http://a/live/s.ts>\n<http://a/x/a.ts>\n\n#\n<https://c/b.ts>");
        row("after a redirect", "#EXTM3U\n../up.ts\n", "#EXTM3U\n<http://b/up.ts>\n",
            "http://b/p/q.m3u8");
        row("attributes",
            "#EXT-X-KEY:METHOD=AES-128,URI=\"k?a=1,2\",IV=0x1\n#EXT-X-MAP:URI=\"i\"\n"
            "#EXT-X-MEDIA:NAME=\"x,URI=n\",URI=\"au.m3u8\"\n",
            "#EXT-X-KEY:METHOD=AES-128,URI=\"<http://a/live/k?a=1,2>\",IV=0x1\n"
            "#EXT-X-MAP:URI=\"<http://a/live/i>\"\n"
            "#EXT-X-MEDIA:NAME=\"x,URI=n\",URI=\"<http://a/live/au.m3u8>\"\n");
        row("dropped with what belongs to them",
            "#EXTM3U\n#EXTINF:4,\n#EXT-X-BYTERANGE:9@0\n#EXT-X-DISCONTINUITY\nd.ts\n"
            "#EXTINF:5,\ns.ts\n#EXT-X-KEY:METHOD=AES-128,URI=\"d.key\"\n#EXT-X-STREAM-INF:"
            "BANDWIDTH=1\nd.m3u8\n",
            "#EXTM3U\n#EXT-X-DISCONTINUITY\n#EXTINF:5,\n<http://a/live/s.ts>\n");
    }
    void playlistRewrite()
    {
        QFETCH(QByteArray, text);
        const auto map = [](const QUrl &url) {
            return url.path().startsWith("/live/d") ? B() : "<" + url.toEncoded() + ">";
        };
        QCOMPARE(HlsPlaylist::rewrite(text, QUrl(fetched<QString>("base")), map, 1 << 20),
            fetched<B>("rewritten"));
        QCOMPARE(HlsPlaylist::looksLikePlaylist(text), text.contains("#EXTM3U"));
    }

    void announcedCodecs_data()
    {
        QTest::addColumn<QString>("text"); // [what goes] when the sound is dropped
        QTest::addColumn<QList<StreamCodecs>>("codecs");
        QTest::newRow("two variants")
            << "[#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"x\"\n]"
               "#EXT-X-STREAM-INF:CODECS=\"avc1.64001f[,mp4a.40.2]\"[,AUDIO=\"a\"]\nv\n"
               "#EXT-X-STREAM-INF:BANDWIDTH=1,CODECS=\"hvc1.1.6.L93.B0[,ec-3]\"\nw\n"
            << QList<StreamCodecs> {{C::H264, C::Aac}, {C::H265, C::Eac3}};
        QTest::newRow("sound alone, subtitles, unknown")
            << "#EXT-X-STREAM-INF:BANDWIDTH=1[,CODECS=\"mp4a.40.2\"]\na\n"
               "#EXT-X-STREAM-INF:CODECS=\"avc1.4d401f[,mp4a.40.2],stpp.ttml.im1t\"\nb\n"
               "#EXT-X-STREAM-INF:CODECS=\"xyz1[,ac-3]\"\nc\n#EXT-X-STREAM-INF:BANDWIDTH=2\nd\n"
            << QList<StreamCodecs> {{C::None, C::Aac}, {C::H264, C::Aac}, {C::Unknown, C::Ac3},
                   {C::Unknown, C::Unknown}};
        QTest::newRow("none announced") << "#EXT-X-STREAM-INF:BANDWIDTH=1\nv\n"
                                        << QList<StreamCodecs> {};
        QTest::newRow("text after a quoted value")
            << "#EXT-X-STREAM-INF:[AUDIO=\"\"CODECS=dtse]\nv\n"
            << QList<StreamCodecs> {};
        QTest::newRow("a quote after blanks") << "#EXT-X-STREAM-INF:CODECS=\t\"dtse\nv\n"
                                              << QList<StreamCodecs> {{C::Unknown, C::None}};
    }
    void announcedCodecs()
    {
        const QString marked = fetched<QString>("text");
        const B text = QString(marked).remove(QRegularExpression("[][]")).toUtf8();
        QCOMPARE(HlsPlaylist::announcedCodecs(text), fetched<QList<StreamCodecs>>("codecs"));
        QCOMPARE(HlsPlaylist::withoutAudioCodecs(text),
            QString(marked).remove(QRegularExpression("\\[[^]]*\\]")).toUtf8());
        // What goes to a player without sound announces none.
        for (const StreamCodecs &variant :
            HlsPlaylist::announcedCodecs(HlsPlaylist::withoutAudioCodecs(text)))
            QVERIFY(!Codecs::isAudio(variant.audio));
    }

    // Streams built to a reader's weak points cost per byte about what a plain
    // stream does (a ratio to the plain one, timed in the same run), and what
    // the reader holds back stays under its bound.
    void hostile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<bool>("dropAudio");
        const qsizetype size = 1 << 20;
        const B plainTs = Hostile {pat + pmt(h264Aac), media}.bytes(size);
        const B plainFlv = Hostile {flvHeader(5), flvTag(9, B(2000, '\x27'))}.bytes(size);
        const Hostile flood = tableFlood();
        QTest::newRow("ts: tiny tables flood")
            << flood.bytes(flood.head.size() + size) << plainTs << false;
        QTest::newRow("ts: table that never ends") << endlessTable().bytes(size) << plainTs << true;
        const B hugeTag = flvTag(9, "\x17\x01").left(11).replace(1, 3, "\xFF\xFF\xFF");
        QTest::newRow("flv: a tag of 16 MiB")
            << Hostile {flvHeader(1) + hugeTag + "\x17\x01", B(4096, 'x')}.bytes(size) << plainFlv
            << true;
    }
    void hostile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, dropAudio);
        const bool flv = bytes.startsWith("FLV");
        qsizetype mostHeld = 0, out = 0;
        // ns a byte, the fastest of three runs; one tells minutes from milliseconds.
        const auto cost = [&](const B &input) {
            double fastest = 1e9;
            for (int round = 0; round < 3 && (round == 0 || fastest < 1000); ++round) {
                TsReframer ts;
                FlvReframer flvReader;
                ts.setDropAudio(dropAudio), flvReader.setDropAudio(dropAudio);
                QElapsedTimer clock;
                clock.start();
                out = 0;
                for (qsizetype at = 0; at < input.size(); at += 65536) {
                    const auto piece = QByteArrayView(input).sliced(at).first(
                        std::min<qsizetype>(65536, input.size() - at));
                    flv ? flvReader.push(piece) : ts.push(piece);
                    out += (flv ? flvReader.take() : ts.take()).size();
                    mostHeld = std::max(mostHeld, flv ? flvReader.pending() : ts.pending());
                }
                fastest = std::min(fastest, double(clock.nsecsElapsed()) / input.size());
            }
            return fastest;
        };
        const double plain = cost(fetched<B>("plain"));
        mostHeld = 0;
        const double hostile = cost(bytes);
        const qsizetype bound = flv ? FlvReframer::MaxHeldBack : TsReframer::MaxHeldBack;
        QVERIFY2(mostHeld <= bound, qPrintable(QString::number(mostHeld)));
        QVERIFY(out <= bytes.size() && out >= bytes.size() - 2 * bound);
        QVERIFY2(hostile < 50 * plain,
            qPrintable(QString("%1 ns a byte, plain %2").arg(hostile).arg(plain)));
    }

    // Every input the readers' fuzzers kept, and every one they ever broke
    // on, still meets its reader's promises.
    void fuzzCorpus_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        for (const auto &[target, check] : checks) {
            int cases = 0;
            for (const char *dir : {"corpus", "regressions"}) {
                const QDir d(QStringLiteral(FUZZ_DIR "/%1/%2").arg(dir, target));
                for (const QFileInfo &f : d.entryInfoList(QDir::Files, QDir::Name)) {
                    QTest::newRow(
                        qPrintable(QStringLiteral("%1/%2/%3").arg(dir, target, f.fileName())))
                        << target << f.filePath();
                    ++cases;
                }
            }
            QVERIFY2(cases > 0, qPrintable("no corpus for " + target));
        }
    }
    void fuzzCorpus()
    {
        QFile f(fetched<QString>("file"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString problem = checks.at(fetched<QString>("target"))(f.readAll());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void anyBytes()
    {
        // Damaged streams in random pieces: whole packets out, none made up, and
        // (under the sanitizers) nothing read outside the bytes.
        QRandomGenerator random(20240601);
        const B good = pat + pmt(h264Aac, 300) + media + flvHeader(5) + flvTag(18, metadata(true))
            + flvTag(9, "\x17\x01");
        for (int round = 0; round < 400; ++round) {
            B bytes = good.mid(round % 2 * good.indexOf("FLV"));
            for (int i = random.bounded(1, 12); i > 0; --i)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            TsReframer ts;
            FlvReframer flv;
            ts.setDropAudio(round % 2);
            flv.setDropAudio(true);
            for (int at = 0, piece = 1; at < bytes.size(); at += piece, piece = random.bounded(400))
                ts.push(bytes.mid(at, piece)), flv.push(bytes.mid(at, piece));
            const B out = ts.take();
            for (int at = 0; at < out.size(); at += 188)
                QVERIFY(round % 2 || bytes.contains(out.mid(at, 188)));
            QVERIFY(out.size() % 188 == 0 && flv.take().size() + flv.pending() <= bytes.size());
            Datagrams::tsPayload(rtp(bytes.left(400), round % 16, round % 3 - 1, round % 7));
        }
    }
};

QTEST_APPLESS_MAIN(tst_StreamBytes)
#include "tst_streambytes.moc"