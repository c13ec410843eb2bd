#include "streamkind.h"

#include "net/weburl.h"

#include <QString>

namespace StreamKinds {

StreamKind fromAnswer(const QByteArray &mediaType, const QUrl &url)
{
    // "video/MP2T; charset=binary" and the like: parameters and case do not matter.
    const QByteArray type = mediaType.split(';').constFirst().trimmed().toLower();
    if (type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl"
        || type == "audio/mpegurl" || type == "audio/x-mpegurl")
        return StreamKind::Hls;
    if (type == "video/x-flv" || type == "video/flv")
        return StreamKind::Flv;
    if (type == "video/mp2t" || type == "video/mpeg-ts")
        return StreamKind::MpegTs;
    if (type.isEmpty() || type == "application/octet-stream" || type == "binary/octet-stream") {
        const StreamKind byAddress = fromAddress(url);
        return byAddress == StreamKind::None ? StreamKind::Unsupported : byAddress;
    }
    return StreamKind::Unsupported;
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
    switch (answer.event) {
    case ChannelAnswer::Event::OfferedAsDownload:
        // Downloads are refused; one that answers the channel is a stream to
        // play, or a clear "cannot play" when it is none.
        return {PlayerReaction::Step::ShowStream, fromAnswer(answer.mediaType, answer.url)};
    case ChannelAnswer::Event::LoadFailed: {
        // A stream address that did not answer: the stream page keeps
        // trying, says so, and gives up in the end.
        const StreamKind byAddress = fromAddress(answer.url);
        if (byAddress != StreamKind::None)
            return {PlayerReaction::Step::ShowStream, byAddress};
        return {};
    }
    case ChannelAnswer::Event::LoadSucceeded:
        // Many servers send HLS playlists as text/plain, which the engine
        // shows as text rather than offering to download.
        if (fromAddress(answer.url) == StreamKind::Hls)
            return {PlayerReaction::Step::LookForPlaylistText, StreamKind::Hls};
        return {};
    }
    return {};
}

} // namespace StreamKinds
