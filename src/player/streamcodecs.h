#pragma once

#include <QByteArrayView>
#include <QHashFunctions>
#include <QLatin1String>
#include <QList>
#include <QSet>
#include <QString>

// The codecs a stream may carry, as far as the player needs to tell them apart.
enum class Codec {
    None, // no such track
    Unknown, // a track whose codec nothing here recognises
    H264,
    H265,
    Mpeg2Video,
    Mpeg1Video,
    Mpeg4Video,
    Vp8,
    Vp9,
    Av1,
    Aac,
    MpegAudio, // MP1, MP2, MP3
    Ac3,
    Eac3,
    Opus,
    Dts,
    Lpcm,
    OtherVideo, // a known video codec the player has no name for
    OtherAudio,
};

inline size_t qHash(Codec codec, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(codec), seed);
}

struct StreamCodecs {
    Codec video = Codec::None;
    Codec audio = Codec::None;
    friend bool operator==(const StreamCodecs &a, const StreamCodecs &b)
    {
        return a.video == b.video && a.audio == b.audio;
    }
    friend bool operator!=(const StreamCodecs &a, const StreamCodecs &b) { return !(a == b); }
};

namespace Codecs {

// The stream page's name for a codec when it asks the engine what it decodes;
// empty for None, Unknown and the other codecs.
QLatin1String key(Codec codec);
Codec fromKey(QByteArrayView key);

// The codec's name as users know it; "未知" for the unknown and other codecs.
QString displayName(Codec codec);

// One entry of an HLS CODECS list ("avc1.64001f", "mp4a.40.2", "ec-3"…).
// Unknown when it names nothing recognised.
Codec fromCodecString(QByteArrayView entry);

bool isVideo(Codec codec);
bool isAudio(Codec codec);

} // namespace Codecs

// What the player does with a stream whose codecs are found.
struct StreamVerdict {
    enum class Action { Play, PlayWithoutSound, Refuse };
    Action action = Action::Play;
    QString message; // what the user is told; empty when it plays as it is
};

// Unknown codecs are given the benefit of the doubt: the engine names its own
// failure if it has one.
StreamVerdict judge(const StreamCodecs &found, const QSet<Codec> &decodable);

// Of several variants the best one decides: any fully decodable plays, else one
// whose picture is decodable plays without sound, else the first is refused.
StreamVerdict judge(const QList<StreamCodecs> &variants, const QSet<Codec> &decodable);
