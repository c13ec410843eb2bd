#include "streamkind.h"

#include "net/weburl.h"

#include <QString>

namespace StreamKinds {

namespace {

// "video/MP2T; charset=binary" and the like: parameters and case do not matter.
QByteArray essence(const QByteArray &mediaType)
{
    return mediaType.split(';').constFirst().trimmed().toLower();
}

// Types that say nothing of what a body is: scripts send text/html or
// text/plain by default, file servers octet-stream.
bool saysNothing(const QByteArray &mediaType)
{
    const QByteArray type = essence(mediaType);
    return type.isEmpty() || type == "application/octet-stream" || type == "binary/octet-stream"
        || type == "text/html" || type == "text/plain";
}

qsizetype afterMarkAndBlanks(const QByteArray &bytes)
{
    qsizetype at = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < bytes.size() && QByteArrayView(" \t\r\n\f\v").contains(bytes.at(at)))
        ++at;
    return at;
}

bool isPlaylist(const QByteArray &bytes)
{
    return QByteArrayView(bytes).sliced(afterMarkAndBlanks(bytes)).startsWith("#EXTM3U");
}

// Bytes the engine read as text that no text holds: control characters or
// what it could not decode.
bool looksBinary(const QByteArray &text)
{
    for (const char c : text.left(512)) {
        const auto u = uchar(c);
        if (u < 0x20 && !QByteArrayView("\t\r\n\f").contains(c))
            return true;
    }
    return text.left(512).contains("\xEF\xBF\xBD");
}

} // namespace

StreamKind fromType(const QByteArray &mediaType)
{
    const QByteArray type = essence(mediaType);
    if (type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl"
        || type == "audio/mpegurl" || type == "audio/x-mpegurl")
        return StreamKind::Hls;
    if (type == "video/x-flv" || type == "video/flv")
        return StreamKind::Flv;
    if (type == "video/mp2t" || type == "video/mpeg-ts")
        return StreamKind::MpegTs;
    return StreamKind::None;
}

StreamKind fromFirstBytes(const QByteArray &bytes)
{
    if (isPlaylist(bytes))
        return StreamKind::Hls;
    if (bytes.startsWith("FLV\x01"))
        return StreamKind::Flv;
    // One sync byte could be chance; two packets apart are a stream.
    constexpr qsizetype packet = 188;
    if (bytes.size() > packet && bytes.at(0) == 0x47 && bytes.at(packet) == 0x47
        && (bytes.size() <= 2 * packet || bytes.at(2 * packet) == 0x47))
        return StreamKind::MpegTs;
    return StreamKind::None;
}

StreamKind fromAddress(const QUrl &url)
{
    const QString path = url.path(QUrl::FullyDecoded).toLower();
    if (path.endsWith(QLatin1String(".m3u8")) || path.endsWith(QLatin1String(".m3u")))
        return StreamKind::Hls;
    if (path.endsWith(QLatin1String(".flv")))
        return StreamKind::Flv;
    // IPTV relays name the multicast group they forward, not a file.
    if (path.endsWith(QLatin1String(".ts")) || path.contains(QLatin1String("/udp/"))
        || path.contains(QLatin1String("/rtp/")))
        return StreamKind::MpegTs;
    return StreamKind::None;
}

QLatin1String name(StreamKind kind)
{
    switch (kind) {
    case StreamKind::Hls:
        return QLatin1String("hls");
    case StreamKind::Flv:
        return QLatin1String("flv");
    case StreamKind::MpegTs:
        return QLatin1String("mpegts");
    case StreamKind::None:
    case StreamKind::Unsupported:
        break;
    }
    return QLatin1String("unsupported");
}

PlayerReaction reactionTo(const ChannelAnswer &answer)
{
    // Only web addresses are ever fetched, by the page or the stream page.
    if (!WebUrl::isWebAddress(answer.url))
        return {};
    using Step = PlayerReaction::Step;
    switch (answer.event) {
    case ChannelAnswer::Event::OfferedAsDownload: {
        // Downloads are refused; one that answers the channel is a stream to
        // play, or a clear "cannot play" when it is none. The type wins,
        // then the address, then the bytes.
        const StreamKind byType = fromType(answer.mediaType);
        if (byType != StreamKind::None)
            return {Step::ShowStream, byType};
        if (!saysNothing(answer.mediaType))
            return {Step::ShowStream, StreamKind::Unsupported};
        if (answer.bodyFetched) {
            const StreamKind byBytes = fromFirstBytes(answer.body);
            return {
                Step::ShowStream, byBytes == StreamKind::None ? StreamKind::Unsupported : byBytes};
        }
        const StreamKind byAddress = fromAddress(answer.url);
        if (byAddress != StreamKind::None)
            return {Step::ShowStream, byAddress};
        return {Step::LookAtBody, StreamKind::None};
    }
    case ChannelAnswer::Event::LoadFailed: {
        // A stream address that did not answer: the stream page keeps
        // trying, says so, and gives up in the end.
        const StreamKind byAddress = fromAddress(answer.url);
        if (byAddress != StreamKind::None)
            return {PlayerReaction::Step::ShowStream, byAddress};
        return {};
    }
    case ChannelAnswer::Event::ShownAsPage:
        return {};
    case ChannelAnswer::Event::ShownAsText: {
        // Scripts print playlists (and relays stream FLV or TS) under
        // whatever type they default to, which the engine shows as text.
        if (answer.bodyFetched) {
            const StreamKind byBytes = fromFirstBytes(answer.body);
            return byBytes == StreamKind::None ? PlayerReaction {}
                                               : PlayerReaction {Step::ShowStream, byBytes};
        }
        if (isPlaylist(answer.body))
            return {Step::ShowStream, StreamKind::Hls};
        // Decoded as text, the bytes say too little: the answer's own do.
        if (looksBinary(answer.body))
            return {Step::LookAtBody, StreamKind::None};
        return {};
    }
    }
    return {};
}

} // namespace StreamKinds
