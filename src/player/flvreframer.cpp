#include "flvreframer.h"

#include <algorithm>
#include <utility>

namespace {

constexpr qsizetype headerSize = 9;
constexpr qsizetype tagHeaderSize = 11;
constexpr qsizetype trailerSize = 4; // the size of the tag before
constexpr char audioFlag = 0x04;
constexpr char videoFlag = 0x01;
constexpr int audioTag = 8;
constexpr int videoTag = 9;
constexpr int scriptTag = 18;
// How long a stream may go on with one kind of tag before the other counts as absent.
constexpr qint64 enoughBytes = 2 * 1024 * 1024;
constexpr qint64 enoughMilliseconds = 3000;
// Servers put codec settings after the header, never megabytes of them.
constexpr qsizetype longestHeader = 64 * 1024;
// A script tag up to this size is held whole, to be rewritten; a longer one
// passes as it is.
constexpr qsizetype longestScript = FlvReframer::MaxHeldBack - tagHeaderSize - trailerSize;
// Enough of a tag's data to know its codec.
constexpr qsizetype peekSize = 8;

uchar byteAt(QByteArrayView bytes, qsizetype i)
{
    return static_cast<uchar>(bytes[i]);
}

quint32 bigEndian(QByteArrayView bytes, qsizetype at, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | byteAt(bytes, at + i);
    return value;
}

// Enhanced tags name their codec by four letters, after one more byte when
// they carry several tracks.
QByteArrayView fourccOf(QByteArrayView data, bool multitrack)
{
    const qsizetype at = multitrack ? 2 : 1;
    return data.size() >= at + 4 ? data.sliced(at, 4) : QByteArrayView();
}

Codec audioCodec(QByteArrayView data)
{
    switch (byteAt(data, 0) >> 4) {
    case 0:
    case 3:
        return Codec::Lpcm;
    case 2:
    case 14:
        return Codec::MpegAudio;
    case 10:
        return Codec::Aac;
    case 1:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 11:
    case 15:
        return Codec::OtherAudio;
    case 9: {
        const QByteArrayView fourcc = fourccOf(data, (byteAt(data, 0) & 0x0F) == 5);
        if (fourcc == "ac-3")
            return Codec::Ac3;
        if (fourcc == "ec-3")
            return Codec::Eac3;
        if (fourcc == "Opus")
            return Codec::Opus;
        if (fourcc == "mp4a")
            return Codec::Aac;
        if (fourcc == ".mp3")
            return Codec::MpegAudio;
        if (fourcc == "fLaC")
            return Codec::OtherAudio;
        break;
    }
    }
    return Codec::Unknown;
}

Codec videoCodec(QByteArrayView data)
{
    const uchar first = byteAt(data, 0);
    if (first & 0x80) {
        const QByteArrayView fourcc = fourccOf(data, (first & 0x0F) == 6);
        if (fourcc == "avc1")
            return Codec::H264;
        if (fourcc == "hvc1")
            return Codec::H265;
        if (fourcc == "av01")
            return Codec::Av1;
        if (fourcc == "vp09")
            return Codec::Vp9;
        if (fourcc == "vp08")
            return Codec::Vp8;
        return Codec::Unknown;
    }
    switch (first & 0x0F) {
    case 7:
        return Codec::H264;
    case 12:
        return Codec::H265;
    case 1: // JPEG
    case 2: // Sorenson H.263
    case 3: // screen video
    case 4: // VP6
    case 5: // VP6 with alpha
    case 6: // screen video 2
        return Codec::OtherVideo;
    }
    return Codec::Unknown;
}

// The page's player believes onMetaData's hasAudio over the header; a stream
// stripped of its sound must not leave it waiting for some.
void denySound(QByteArray &bytes, qsizetype tagAt)
{
    constexpr char hasAudio[] = "\x00\x08hasAudio\x01"; // name, then a boolean
    constexpr qsizetype size = sizeof(hasAudio) - 1;
    const qsizetype at = bytes.indexOf(QByteArrayView(hasAudio, size), tagAt);
    if (at >= 0 && at + size < bytes.size() - trailerSize)
        bytes[at + size] = 0;
}

} // namespace

void FlvReframer::push(QByteArrayView bytes)
{
    m_input.append(bytes);
    qsizetype at = 0;
    for (;;) {
        const QByteArrayView rest = QByteArrayView(m_input).sliced(at);
        if (m_stage == Stage::NotFlv) {
            m_output += rest;
            at = m_input.size();
            break;
        }
        if (m_passThrough > 0) {
            const qsizetype passed = std::min(m_passThrough, rest.size());
            m_output += rest.first(passed);
            m_passThrough -= passed;
            at += passed;
            if (m_passThrough > 0)
                break;
            continue;
        }
        const qsizetype used = m_stage == Stage::Header ? readHeader(rest) : readTag(rest);
        if (used == 0 && m_stage != Stage::NotFlv)
            break;
        at += used;
    }
    m_input.remove(0, at);
}

qsizetype FlvReframer::readHeader(QByteArrayView rest)
{
    if (!rest.startsWith("FLV") && !QByteArrayView("FLV").startsWith(rest)) {
        m_stage = Stage::NotFlv;
        return 0;
    }
    if (rest.size() < headerSize)
        return 0;
    const quint32 dataOffset = bigEndian(rest, 5, 4);
    if (dataOffset > longestHeader) {
        m_stage = Stage::NotFlv;
        return 0;
    }
    // A header that announces no track at all says nothing about them.
    const char flags = rest[4];
    if (flags & (audioFlag | videoFlag)) {
        m_headerAudio = flags & audioFlag;
        m_headerVideo = flags & videoFlag;
    }
    m_flagsAt = m_output.size() + 4;
    m_output += rest.first(headerSize);
    if (m_dropAudio)
        m_output[m_flagsAt] = static_cast<char>(flags & ~audioFlag);
    m_passThrough = std::max<qsizetype>(dataOffset, headerSize) - headerSize + trailerSize;
    m_stage = Stage::Tags;
    return headerSize;
}

qsizetype FlvReframer::readTag(QByteArrayView rest)
{
    if (m_tagLeft > 0) {
        const qsizetype passed = std::min(m_tagLeft, rest.size());
        if (!m_skipping)
            m_output += rest.first(passed);
        m_tagLeft -= passed;
        return passed;
    }
    if (rest.size() < tagHeaderSize)
        return 0;
    const qsizetype dataSize = bigEndian(rest, 1, 3);
    const qsizetype size = tagHeaderSize + dataSize + trailerSize;
    const int type = byteAt(rest, 0) & 0x1F;
    const bool whole = type == scriptTag && size <= longestScript;
    const qsizetype needed = whole ? size : std::min(size, tagHeaderSize + peekSize);
    if (rest.size() < needed)
        return 0;
    const bool encrypted = byteAt(rest, 0) & 0x20;
    const quint32 timestamp = bigEndian(rest, 4, 3) | (quint32(byteAt(rest, 7)) << 24);
    noteTag(type,
        encrypted ? QByteArrayView()
                  : rest.sliced(tagHeaderSize, std::min(dataSize, needed - tagHeaderSize)),
        timestamp, size);
    const qsizetype here = std::min(size, rest.size());
    m_skipping = m_dropAudio && type == audioTag;
    output(rest.first(here));
    m_tagLeft = size - here;
    return here;
}

void FlvReframer::output(QByteArrayView tag)
{
    const int type = byteAt(tag, 0) & 0x1F;
    if (m_dropAudio && type == audioTag)
        return;
    if (m_tagsAt < 0)
        m_tagsAt = m_output.size();
    m_output += tag;
    if (m_dropAudio && type == scriptTag)
        denySound(m_output, m_output.size() - tag.size());
}

void FlvReframer::noteTag(int type, QByteArrayView data, quint32 timestamp, qsizetype size)
{
    if (codecsKnown())
        return;
    m_tagBytes += size;
    if (type != audioTag && type != videoTag) {
        m_waitedEnough = m_tagBytes >= enoughBytes;
        return;
    }
    if (type == audioTag && !data.isEmpty() && !m_audioSeen) {
        m_codecs.audio = audioCodec(data);
        m_audioSeen = true;
    } else if (type == videoTag && !data.isEmpty() && !m_videoSeen) {
        m_codecs.video = videoCodec(data);
        m_videoSeen = true;
    }
    if (m_firstTimestamp < 0)
        m_firstTimestamp = timestamp;
    m_waitedEnough
        = m_tagBytes >= enoughBytes || qint64(timestamp) - m_firstTimestamp >= enoughMilliseconds;
}

bool FlvReframer::codecsKnown() const
{
    const bool videoSettled = m_videoSeen || !m_headerVideo || m_waitedEnough;
    const bool audioSettled = m_audioSeen || !m_headerAudio || m_waitedEnough;
    return videoSettled && audioSettled && (m_videoSeen || m_audioSeen || m_waitedEnough);
}

void FlvReframer::setDropAudio(bool drop)
{
    if (drop == m_dropAudio)
        return;
    m_dropAudio = drop;
    if (!drop)
        return;
    // What was not taken yet goes without sound too.
    if (m_flagsAt >= 0)
        m_output[m_flagsAt] = static_cast<char>(m_output.at(m_flagsAt) & ~audioFlag);
    if (m_tagsAt < 0)
        return;
    const QByteArray tags = m_output.sliced(m_tagsAt);
    m_output.truncate(m_tagsAt);
    m_tagsAt = -1;
    for (qsizetype at = 0; at + tagHeaderSize <= tags.size();) {
        const qsizetype size = tagHeaderSize + bigEndian(tags, at + 1, 3) + trailerSize;
        output(QByteArrayView(tags).sliced(at, std::min(size, tags.size() - at)));
        // The rest of a sound tag cut short here goes too, as it arrives.
        if (size > tags.size() - at)
            m_skipping = (byteAt(tags, at) & 0x1F) == audioTag;
        at += size;
    }
}

QByteArray FlvReframer::take()
{
    m_flagsAt = -1;
    m_tagsAt = -1;
    return std::exchange(m_output, {});
}
