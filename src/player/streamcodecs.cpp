#include "streamcodecs.h"

#include <QByteArray>

namespace {

struct CodecName {
    Codec codec;
    const char *key;
    const char *display;
};

constexpr CodecName codecNames[] = {
    {Codec::H264, "h264", "H.264"},
    {Codec::H265, "h265", "H.265"},
    {Codec::Mpeg2Video, "mpeg2v", "MPEG-2"},
    {Codec::Mpeg1Video, "mpeg1v", "MPEG-1"},
    {Codec::Mpeg4Video, "mp4v", "MPEG-4"},
    {Codec::Vp8, "vp8", "VP8"},
    {Codec::Vp9, "vp9", "VP9"},
    {Codec::Av1, "av1", "AV1"},
    {Codec::Aac, "aac", "AAC"},
    {Codec::MpegAudio, "mpega", "MP3"},
    {Codec::Ac3, "ac3", "AC-3"},
    {Codec::Eac3, "eac3", "E-AC-3"},
    {Codec::Opus, "opus", "Opus"},
    {Codec::Dts, "dts", "DTS"},
    {Codec::Lpcm, "lpcm", "LPCM"},
};

const CodecName *nameOf(Codec codec)
{
    for (const CodecName &name : codecNames) {
        if (name.codec == codec)
            return &name;
    }
    return nullptr;
}

// MPEG-4 object types, the number after "mp4a." or "mp4v.".
Codec fromObjectType(int type, int audioObjectType)
{
    switch (type) {
    case 0x20:
        return Codec::Mpeg4Video;
    case 0x21:
        return Codec::H264;
    case 0x23:
        return Codec::H265;
    case 0x40:
        // Audio object types 32 to 34 are MPEG layers 1 to 3 inside MPEG-4.
        return audioObjectType >= 32 && audioObjectType <= 34 ? Codec::MpegAudio : Codec::Aac;
    case 0x60:
    case 0x61:
    case 0x62:
    case 0x63:
    case 0x64:
    case 0x65:
        return Codec::Mpeg2Video;
    case 0x66:
    case 0x67:
    case 0x68:
        return Codec::Aac;
    case 0x69:
    case 0x6B:
        return Codec::MpegAudio;
    case 0x6A:
        return Codec::Mpeg1Video;
    case 0xA5:
        return Codec::Ac3;
    case 0xA6:
        return Codec::Eac3;
    case 0xA9:
    case 0xAA:
    case 0xAB:
    case 0xAC:
        return Codec::Dts;
    case 0xAD:
        return Codec::Opus;
    }
    return Codec::Unknown;
}

bool decodes(Codec codec, const QSet<Codec> &decodable)
{
    return codec == Codec::None || codec == Codec::Unknown || decodable.contains(codec);
}

QString refusal(Codec codec, const char *kind)
{
    // "H.265 视频", but "未知视频": the space only sets a Latin name apart.
    const QString name = Codecs::displayName(codec);
    const QString gap = name.at(0).unicode() < 0x80 ? QStringLiteral(" ") : QString();
    return QStringLiteral("格式不支持（%1%2%3）").arg(name, gap, QString::fromUtf8(kind));
}

} // namespace

namespace Codecs {

QLatin1String key(Codec codec)
{
    const CodecName *name = nameOf(codec);
    return name ? QLatin1String(name->key) : QLatin1String("");
}

Codec fromKey(QByteArrayView key)
{
    for (const CodecName &name : codecNames) {
        if (key == name.key)
            return name.codec;
    }
    return Codec::Unknown;
}

QString displayName(Codec codec)
{
    const CodecName *name = nameOf(codec);
    return name ? QString::fromLatin1(name->display) : QStringLiteral("未知");
}

Codec fromCodecString(QByteArrayView entry)
{
    const QByteArray text = entry.trimmed().toByteArray().toLower();
    const QList<QByteArray> fields = text.split('.');
    const QByteArray &fourcc = fields.constFirst();
    if (fourcc == "avc1" || fourcc == "avc3")
        return Codec::H264;
    if (fourcc == "hvc1" || fourcc == "hev1")
        return Codec::H265;
    if (fourcc == "vp08" || fourcc == "vp8")
        return Codec::Vp8;
    if (fourcc == "vp09" || fourcc == "vp9")
        return Codec::Vp9;
    if (fourcc == "av01")
        return Codec::Av1;
    if (fourcc == "ac-3")
        return Codec::Ac3;
    if (fourcc == "ec-3")
        return Codec::Eac3;
    if (fourcc == "opus")
        return Codec::Opus;
    if (fourcc == "dtsc" || fourcc == "dtse" || fourcc == "dtsh" || fourcc == "dtsl"
        || fourcc == "dtsx")
        return Codec::Dts;
    if ((fourcc == "mp4a" || fourcc == "mp4v") && fields.size() >= 2) {
        bool ok = false;
        const int type = fields.at(1).toInt(&ok, 16);
        if (!ok)
            return Codec::Unknown;
        const int audioObjectType = fields.size() >= 3 ? fields.at(2).toInt() : 0;
        return fromObjectType(type, audioObjectType);
    }
    return Codec::Unknown;
}

bool isVideo(Codec codec)
{
    switch (codec) {
    case Codec::H264:
    case Codec::H265:
    case Codec::Mpeg2Video:
    case Codec::Mpeg1Video:
    case Codec::Mpeg4Video:
    case Codec::Vp8:
    case Codec::Vp9:
    case Codec::Av1:
    case Codec::OtherVideo:
        return true;
    default:
        return false;
    }
}

bool isAudio(Codec codec)
{
    return codec != Codec::None && codec != Codec::Unknown && !isVideo(codec);
}

} // namespace Codecs

StreamVerdict judge(const StreamCodecs &found, const QSet<Codec> &decodable)
{
    using Action = StreamVerdict::Action;
    if (!decodes(found.video, decodable))
        return {Action::Refuse, refusal(found.video, "视频")};
    if (decodes(found.audio, decodable))
        return {};
    if (found.video == Codec::None)
        return {Action::Refuse, refusal(found.audio, "音频")};
    return {Action::PlayWithoutSound,
        QStringLiteral("不支持此伴音格式（%1）").arg(Codecs::displayName(found.audio))};
}

StreamVerdict judge(const QList<StreamCodecs> &variants, const QSet<Codec> &decodable)
{
    if (variants.isEmpty())
        return {};
    StreamVerdict best = judge(variants.constFirst(), decodable);
    for (const StreamCodecs &variant : variants) {
        const StreamVerdict verdict = judge(variant, decodable);
        if (verdict.action == StreamVerdict::Action::Play)
            return verdict;
        if (verdict.action == StreamVerdict::Action::PlayWithoutSound
            && best.action == StreamVerdict::Action::Refuse)
            best = verdict;
    }
    return best;
}
