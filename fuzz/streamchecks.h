#pragma once

// What must hold for whatever bytes a stream server or a stream page sends,
// reader by reader: checked by the fuzzers and, over their corpora and every
// input they ever broke on, by the tests. Each check gives empty when the
// reader kept its word, else what went wrong.

#include "net/channeladdress.h"
#include "player/datagrams.h"
#include "player/flvreframer.h"
#include "player/hlsplaylist.h"
#include "player/requesthead.h"
#include "player/tsreframer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <algorithm>

namespace StreamChecks {

// The input's first bytes say how the rest is read: whether the sound goes,
// and the sizes of the pieces it arrives in (a piece's size is the next
// byte, 0 meaning 1000).
struct Feed {
    bool dropAudio = false;
    QByteArray sizes;
    QByteArray bytes;

    static Feed from(const QByteArray &data)
    {
        Feed feed;
        if (data.size() < 2)
            return feed;
        feed.dropAudio = data[0] & 1;
        const int count = static_cast<uchar>(data[1]) % 16;
        feed.sizes = data.mid(2, count);
        feed.bytes = data.mid(2 + count);
        return feed;
    }
    // Calls push with every piece of bytes, in order; after each, after.
    template<class Push>
    void inPieces(Push push) const
    {
        for (qsizetype at = 0, i = 0; at < bytes.size(); ++i) {
            const uchar size = sizes.isEmpty() ? 0 : static_cast<uchar>(sizes[i % sizes.size()]);
            const qsizetype piece = std::min<qsizetype>(size ? size : 1000, bytes.size() - at);
            push(QByteArrayView(bytes).sliced(at, piece));
            at += piece;
        }
    }
};

inline QString held(qsizetype pending, qsizetype bound)
{
    return pending > bound
        ? QStringLiteral("%1 bytes held back, more than %2").arg(pending).arg(bound)
        : QString();
}

// Whether each of out's 188-byte packets is one of in's, in order (with its
// payload rewritten when loose).
inline bool packetsOf(const QByteArray &out, const QByteArray &in, bool loose)
{
    qsizetype from = 0;
    for (qsizetype at = 0; at < out.size(); at += TsReframer::packetSize) {
        const QByteArrayView packet = QByteArrayView(out).sliced(at, TsReframer::packetSize);
        qsizetype found = in.indexOf(loose ? packet.first(4) : packet, from);
        if (found < 0 || found + TsReframer::packetSize > in.size())
            return false;
        from = found + TsReframer::packetSize;
    }
    return true;
}

// A reader fed the bytes at once and one fed them in pieces, each piece's
// output taken: no more out and held than in, and the hold bounded.
template<class Reader>
struct BothWays {
    Reader whole, pieces;
    QByteArray out; // of pieces
    QString problem;

    BothWays(const Feed &feed, qsizetype bound)
    {
        whole.setDropAudio(feed.dropAudio);
        pieces.setDropAudio(feed.dropAudio);
        whole.push(feed.bytes);
        feed.inPieces([&](QByteArrayView piece) {
            pieces.push(piece);
            out += pieces.take();
            if (problem.isEmpty())
                problem = held(pieces.pending(), bound);
        });
        if (problem.isEmpty() && out.size() + pieces.pending() > feed.bytes.size())
            problem = QStringLiteral("more out and held than in");
    }
};

// MPEG-TS: whole packets out, each one that came in (a program table
// rewritten without its sound aside), no more out and held than in, the
// hold bounded, and the same whatever the pieces.
inline QString ts(const QByteArray &data)
{
    const Feed feed = Feed::from(data);
    BothWays<TsReframer> read(feed, TsReframer::MaxHeldBack);
    if (!read.problem.isEmpty())
        return read.problem;
    read.whole.finish();
    read.pieces.finish();
    const QByteArray out = read.out + read.pieces.take();
    if (read.whole.take() != out || read.whole.programKnown() != read.pieces.programKnown()
        || read.whole.codecs() != read.pieces.codecs())
        return QStringLiteral("the pieces changed what came out");
    if (out.size() % TsReframer::packetSize != 0)
        return QStringLiteral("a packet cut short");
    if (!packetsOf(out, feed.bytes, feed.dropAudio))
        return QStringLiteral("a packet that never came in");
    return {};
}

// HTTP-FLV: without sound dropped everything passes as it came; with it, no
// more out than in; the hold bounded; the same whatever the pieces.
inline QString flv(const QByteArray &data)
{
    const Feed feed = Feed::from(data);
    BothWays<FlvReframer> read(feed, FlvReframer::MaxHeldBack);
    if (!read.problem.isEmpty())
        return read.problem;
    if (read.whole.take() != read.out || read.whole.codecsKnown() != read.pieces.codecsKnown()
        || (read.whole.codecsKnown() && read.whole.codecs() != read.pieces.codecs()))
        return QStringLiteral("the pieces changed what came out");
    if (!feed.dropAudio && !feed.bytes.startsWith(read.out))
        return QStringLiteral("bytes changed with the sound kept");
    return {};
}

// HLS: every address line of a rewritten playlist is one the map made (or
// gone), the result within its limit; a playlist without its sound announces none.
inline QString hls(const QByteArray &text)
{
    const QByteArray mark = "relay:";
    const auto map = [&](const QUrl &url) {
        return url.scheme() == QLatin1String("http") ? mark + url.toEncoded().toBase64()
                                                     : QByteArray();
    };
    const qsizetype limit = 4 * text.size() + 64;
    const QByteArray rewritten
        = HlsPlaylist::rewrite(text, QUrl(QStringLiteral("http://a/b/c.m3u8")), map, limit);
    if (rewritten.size() > limit)
        return QStringLiteral("the rewritten playlist passed its limit");
    for (const QByteArray &line : rewritten.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith('#') && !trimmed.startsWith(mark))
            return QStringLiteral("an address the map never made: ") + QString::fromUtf8(trimmed);
    }
    for (const StreamCodecs &variant :
        HlsPlaylist::announcedCodecs(HlsPlaylist::withoutAudioCodecs(text))) {
        if (Codecs::isAudio(variant.audio))
            return QStringLiteral("sound announced after it was taken out");
    }
    HlsPlaylist::looksLikePlaylist(text);
    return {};
}

// RTP or plain datagrams: nothing but whole packets, all of them from the
// datagram, in one run.
inline QString rtp(const QByteArray &datagram)
{
    const QByteArray ts = Datagrams::tsPayload(datagram);
    if (ts.isEmpty())
        return {};
    if (ts.size() % TsReframer::packetSize != 0)
        return QStringLiteral("a packet cut short");
    for (qsizetype at = 0; at < ts.size(); at += TsReframer::packetSize) {
        if (ts[at] != 0x47)
            return QStringLiteral("a packet without its sync byte");
    }
    if (!datagram.contains(ts))
        return QStringLiteral("bytes that are not the datagram's");
    return {};
}

// A request head: the same whatever the pieces, never more kept than the
// bound, and what is read is what was sent.
inline QString requestHead(const QByteArray &data)
{
    const Feed feed = Feed::from(data);
    RequestHeadReader whole, pieces;
    whole.feed(feed.bytes);
    QString problem;
    feed.inPieces([&](QByteArrayView piece) {
        pieces.feed(piece);
        if (problem.isEmpty())
            problem = held(pieces.held(), RequestHeadReader::MaxSize + 3);
    });
    if (!problem.isEmpty())
        return problem;
    if (whole.state() != pieces.state())
        return QStringLiteral("the pieces changed what was read");
    if (whole.state() != RequestHeadReader::State::Complete)
        return {};
    const RequestHead a = whole.head(), b = pieces.head();
    if (a.method != b.method || a.target != b.target || a.fields != b.fields)
        return QStringLiteral("the pieces changed the head");
    if (a.wellFormed && (!feed.bytes.contains(a.method) || !feed.bytes.contains(a.target)))
        return QStringLiteral("a request line that was never sent");
    for (auto it = a.fields.cbegin(); it != a.fields.cend(); ++it) {
        if (it.key() != it.key().toLower() || it.key().contains('\n'))
            return QStringLiteral("a field name not as read");
    }
    return {};
}

// A channel's header list: the address is the text, or the text before its
// last "|"; every field a token that frames nothing, no value able to end it.
inline QString headerList(const QByteArray &data)
{
    const QString text = QString::fromUtf8(data);
    const ChannelAddress split = ChannelAddresses::split(text);
    if (split.address != text && split.address != text.left(text.lastIndexOf(u'|')))
        return QStringLiteral("an address that is not the text");
    const QByteArrayList framing {"host", "content-length", "transfer-encoding", "connection",
        "keep-alive", "upgrade", "te", "trailer", "proxy-connection", "proxy-authorization"};
    for (const auto &[name, value] : split.headers) {
        if (name.isEmpty() || framing.contains(name.toLower()))
            return QStringLiteral("a field that frames the request: ") + QString::fromLatin1(name);
        for (const char c : name) {
            if (c <= ' ' || c >= 0x7F || QByteArrayView("\"(),/:;<=>?@[\\]{}").contains(c))
                return QStringLiteral("a field name that is no token");
        }
        if (value.contains('\r') || value.contains('\n') || value.contains('\0'))
            return QStringLiteral("a value that would end its field");
    }
    return {};
}

} // namespace StreamChecks
