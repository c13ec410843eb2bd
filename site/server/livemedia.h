#pragma once
#include <QByteArray>
#include <QList>

#include <memory>

// Live channels made from short looped clips: a sliding HLS playlist and endless FLV / MPEG-TS
// streams whose timestamps keep running across the loop. No sockets here, so all of it can be
// driven by a fake clock.
namespace LiveMedia {

struct HlsSegment {
    QByteArray uri;
    qint64 durationMs = 0;
};

// Segments of a media playlist such as ffmpeg writes; empty if it has none.
QList<HlsSegment> parseMediaPlaylist(const QByteArray &text);

// The live window at clockMs: `window` segments starting with the one playing then, looping over
// `segments` with a discontinuity at each wrap. Empty if there are no segments.
QByteArray livePlaylist(const QList<HlsSegment> &segments, qint64 clockMs, int window = 6);

// A piece of an endless stream, to be sent no earlier than dueMs after the stream began.
struct Chunk {
    QByteArray bytes;
    qint64 dueMs = 0;
};

// One viewer's endless stream.
class Stream {
public:
    virtual ~Stream() = default;
    virtual Chunk next() = 0;
};

// A parsed clip that any number of streams loop over; the bytes are shared, never copied whole.
class LoopSource {
public:
    virtual ~LoopSource() = default;
    // Length of one pass through the clip.
    virtual qint64 loopMs() const = 0;
    // A stream joining the loop at clockMs on the channel's clock: it starts at the keyframe at or
    // before that point, sends that whole first GOP at once, then follows in real time.
    virtual std::unique_ptr<Stream> open(qint64 clockMs) const = 0;

    // Null unless the data is an FLV with H.264 video (AAC audio optional).
    static std::shared_ptr<const LoopSource> fromFlv(const QByteArray &data);
    // Null unless the data is an MPEG-TS with a PAT, a PMT and timestamped streams.
    static std::shared_ptr<const LoopSource> fromTs(const QByteArray &data);
};

} // namespace LiveMedia
