#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QUrl>

#include <chrono>

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

// How the channel being opened answered the player.
struct ChannelAnswer {
    enum class Event {
        OfferedAsDownload, // the engine would only save it
        LoadFailed, // unreachable, or an error status
        LoadSucceeded, // on screen as a page
    };
    Event event;
    QUrl url;
    QByteArray mediaType; // of a download; empty otherwise
};

// What the player does about it.
struct PlayerReaction {
    enum class Step {
        KeepPage, // the page (or the engine's error page) is the channel
        ShowStream, // the stream page plays kind; Unsupported says it cannot
        LookForPlaylistText, // a playlist address shown as text may be a playlist
    };
    Step step = Step::KeepPage;
    StreamKind kind = StreamKind::None;
    friend bool operator==(const PlayerReaction &a, const PlayerReaction &b)
    {
        return a.step == b.step && a.kind == b.kind;
    }
};

namespace StreamKinds {
PlayerReaction reactionTo(const ChannelAnswer &answer);
} // namespace StreamKinds

// The bounds of the stream page's patience. Tests shorten them.
struct StreamTimings {
    // Nothing at all for this long: the stream has ended.
    std::chrono::milliseconds giveUp {60000};
    // Pauses between reconnections double from the first to the longest.
    std::chrono::milliseconds firstPause {1000};
    std::chrono::milliseconds longestPause {30000};
    // Playing, yet the picture stood still this long: a drop.
    std::chrono::milliseconds stall {10000};
};
