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

// What a media type says: a playlist, FLV or MPEG-TS type, parameters and
// case aside. None for any other.
StreamKind fromType(const QByteArray &mediaType);

// What the address alone says: .m3u8/.m3u, .flv, .ts, or an IPTV relay path
// (/udp/, /rtp/). None when it says nothing.
StreamKind fromAddress(const QUrl &url);

// What a body's first bytes are: "#EXTM3U" (after a byte-order mark and
// blanks), an FLV header, or MPEG-TS sync bytes 188 bytes apart. None for
// anything else.
StreamKind fromFirstBytes(const QByteArray &bytes);

// The name the stream page knows the kind by.
QLatin1String name(StreamKind kind);

} // namespace StreamKinds

// How the channel being opened answered the player.
struct ChannelAnswer {
    enum class Event {
        OfferedAsDownload, // the engine would only save it
        LoadFailed, // unreachable, or an error status
        ShownAsPage, // on screen as a page with markup, or as a media file
        ShownAsText, // on screen as nothing but text, which body begins
    };
    Event event;
    QUrl url;
    QByteArray mediaType; // as the server named it; empty when it named none
    // How the body begins: for ShownAsText the text as the engine read it;
    // the answer's own bytes once fetched again (bodyFetched). Empty when
    // nobody looked.
    QByteArray body = {};
    bool bodyFetched = false;
};

// What the player does about it.
struct PlayerReaction {
    enum class Step {
        KeepPage, // the page (or the engine's error page) is the channel
        ShowStream, // the stream page plays kind; Unsupported says it cannot
        LookAtBody, // the answer's first bytes decide: fetch them, then ask again
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
    // No picture this long after the source was asked for: it has failed.
    std::chrono::milliseconds firstPicture {15000};
    // A source that played and dropped gives way to the channel's next row
    // after this long away.
    std::chrono::milliseconds dropFailover {10000};
};
