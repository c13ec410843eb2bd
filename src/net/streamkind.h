#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QUrl>

// Live streams the engine would only offer as downloads, and which the
// player's own stream page plays instead.
enum class StreamKind {
    None, // not a stream: a page, a media file, or nothing known
    Hls, // HLS playlist
    Flv, // HTTP-FLV
    MpegTs, // MPEG-TS over HTTP
    Unsupported, // an answer the engine cannot show and no player here can play
};

namespace StreamKinds {

// What an answer the engine declined to render is: by its media type, or by
// its address when the type says nothing useful (none, octet-stream).
// Never None: an answer that is nothing we know is Unsupported.
StreamKind fromAnswer(const QByteArray &mediaType, const QUrl &url);

// What the address alone says: .m3u8/.m3u, .flv, .ts, or an IPTV relay path
// (/udp/, /rtp/). None when it says nothing.
StreamKind fromAddress(const QUrl &url);

// The name the stream page knows the kind by.
QLatin1String name(StreamKind kind);

} // namespace StreamKinds
