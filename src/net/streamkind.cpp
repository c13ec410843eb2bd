#include "streamkind.h"

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

} // namespace StreamKinds
