#include "livemedia.h"

#include <QHash>

#include <algorithm>
#include <utility>

namespace LiveMedia {

namespace {

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

quint32 be24(const uchar *p)
{
    return quint32(p[0]) << 16 | quint32(p[1]) << 8 | p[2];
}

quint32 be32(const uchar *p)
{
    return quint32(p[0]) << 24 | be24(p + 1);
}

void putBe24(char *p, quint32 v)
{
    p[0] = char(v >> 16);
    p[1] = char(v >> 8);
    p[2] = char(v);
}

void putBe32(char *p, quint32 v)
{
    p[0] = char(v >> 24);
    putBe24(p + 1, v);
}

// Average spacing of a track, which is also what its last frame lasts.
qint64 frameLength(qint64 first, qint64 last, qint64 count)
{
    return count > 1 ? (last - first + (count - 1) / 2) / (count - 1) : 0;
}

// ---------------------------------------------------------------- FLV

constexpr qsizetype kFlvTagHead = 11;

void setFlvTime(char *tag, qint64 ms)
{
    const quint32 v = quint32(ms);
    putBe24(tag + 4, v & 0xffffff);
    tag[7] = char(v >> 24);
}

class FlvSource : public LoopSource, public std::enable_shared_from_this<FlvSource> {
public:
    struct Entry {
        qsizetype offset = 0; // tag start
        qsizetype size = 0; // tag header and body, without the trailing size field
        qint64 time = 0; // place in the loop, in [origin, origin + loop)
        bool keyframe = false;
    };

    qint64 loopMs() const override { return loop; }
    std::unique_ptr<Stream> open(qint64 clockMs) const override;

    QByteArray data;
    QByteArray head; // header, metadata and decoder configs, all at time 0
    QList<Entry> entries; // one pass, in sending order
    QList<int> keyframes; // indices into entries
    qint64 origin = 0;
    qint64 loop = 0;
};

class FlvStream : public Stream {
public:
    FlvStream(std::shared_ptr<const FlvSource> source, qint64 clockMs) : m_src(std::move(source))
    {
        const FlvSource &s = *m_src;
        const qint64 at = s.origin + clockMs - floorDiv(clockMs, s.loop) * s.loop;
        int k = 0;
        while (k + 1 < s.keyframes.size() && s.entries[s.keyframes[k + 1]].time <= at)
            ++k;
        m_pos = s.keyframes[k];
        m_start = s.entries[m_pos].time;
        m_lead = k + 1 < s.keyframes.size() ? s.entries[s.keyframes[k + 1]].time - m_start
                                            : s.entries[s.keyframes[0]].time + s.loop - m_start;
    }

    Chunk next() override
    {
        if (!m_headSent) {
            m_headSent = true;
            return {m_src->head, -m_lead};
        }
        const FlvSource::Entry &e = m_src->entries[m_pos];
        // Every viewer's timeline starts at 0, as CDNs rebase it per session.
        const qint64 out = e.time + m_pass * m_src->loop - m_start;
        QByteArray tag = m_src->data.mid(e.offset, e.size + 4);
        setFlvTime(tag.data(), out);
        putBe32(tag.data() + e.size, quint32(e.size));
        if (++m_pos == m_src->entries.size()) {
            m_pos = 0;
            ++m_pass;
        }
        return {tag, out - m_lead};
    }

private:
    std::shared_ptr<const FlvSource> m_src;
    bool m_headSent = false;
    int m_pos = 0;
    qint64 m_pass = 0;
    qint64 m_start = 0;
    qint64 m_lead = 0;
};

std::unique_ptr<Stream> FlvSource::open(qint64 clockMs) const
{
    return std::make_unique<FlvStream>(shared_from_this(), clockMs);
}

// ---------------------------------------------------------------- MPEG-TS

constexpr qsizetype kTsPacket = 188;
constexpr qint64 kTsWrap = qint64(1) << 33;
constexpr int kMaxChunkPackets = 64;

qint64 readTimestamp(const uchar *p)
{
    return qint64((p[0] >> 1) & 7) << 30 | qint64(p[1]) << 22 | qint64(p[2] >> 1) << 15
        | qint64(p[3]) << 7 | qint64(p[4] >> 1);
}

void writeTimestamp(char *p, qint64 v)
{
    p[0] = char((uchar(p[0]) & 0xf0) | ((v >> 29) & 0x0e) | 1);
    p[1] = char(v >> 22);
    p[2] = char(((v >> 14) & 0xfe) | 1);
    p[3] = char(v >> 7);
    p[4] = char(((v << 1) & 0xfe) | 1);
}

qint64 readPcrBase(const uchar *p)
{
    return qint64(p[0]) << 25 | qint64(p[1]) << 17 | qint64(p[2]) << 9 | qint64(p[3]) << 1
        | (p[4] >> 7);
}

void writePcrBase(char *p, qint64 base)
{
    p[0] = char(base >> 25);
    p[1] = char(base >> 17);
    p[2] = char(base >> 9);
    p[3] = char(base >> 1);
    p[4] = char(((base & 1) << 7) | 0x7e | (uchar(p[4]) & 1));
}

bool isVideoStreamType(int type)
{
    return type == 0x01 || type == 0x02 || type == 0x10 || type == 0x1b || type == 0x24;
}

// Start of the section in a PSI packet, or -1.
int sectionStart(const uchar *p)
{
    if (!(p[1] & 0x40) || !(p[3] & 0x10))
        return -1;
    int at = 4;
    if (p[3] & 0x20)
        at += 1 + p[4];
    if (at >= kTsPacket)
        return -1;
    at += 1 + p[at]; // pointer field
    return at + 3 <= kTsPacket ? at : -1;
}

class TsSource : public LoopSource, public std::enable_shared_from_this<TsSource> {
public:
    struct Packet {
        qsizetype offset = 0;
        quint16 pid = 0;
        bool unitStart = false;
        bool payload = false;
        bool keep = true; // false for the tail that would overlap the next pass
        qint16 pcrAt = -1, ptsAt = -1, dtsAt = -1; // byte offsets inside the packet
        qint64 time = 0; // latest PCR base at or before this packet, 90 kHz
    };

    qint64 loopMs() const override { return loop / 90; }
    std::unique_ptr<Stream> open(qint64 clockMs) const override;

    QByteArray data;
    QList<Packet> packets;
    QList<int> keyframes; // packet indices where a video access point begins
    qsizetype patOffset = -1, pmtOffset = -1;
    int patPacket = -1, pmtPacket = -1; // indices into packets
    quint16 pmtPid = 0;
    qint64 loop = 0; // 90 kHz
};

class TsStream : public Stream {
public:
    TsStream(std::shared_ptr<const TsSource> source, qint64 clockMs) : m_src(std::move(source))
    {
        const TsSource &s = *m_src;
        const qint64 ticks = clockMs * 90;
        m_pass = floorDiv(ticks, s.loop);
        const qint64 at = s.packets.first().time + ticks - m_pass * s.loop;
        int k = -1;
        while (k + 1 < s.keyframes.size() && s.packets[s.keyframes[k + 1]].time <= at)
            ++k;
        if (k < 0) { // before the first access point: join the end of the previous pass
            k = int(s.keyframes.size()) - 1;
            --m_pass;
        }
        m_firstPass = m_pass;
        m_pos = s.keyframes[k];
        m_start = s.packets[m_pos].time;
        m_lead = k + 1 < s.keyframes.size() ? s.packets[s.keyframes[k + 1]].time - m_start
                                            : s.packets[s.keyframes[0]].time + s.loop - m_start;
        m_cc.fill(15, 8192);
        m_started.fill(false, 8192);
    }

    Chunk next() override
    {
        const TsSource &s = *m_src;
        QByteArray out;
        if (!m_headSent) {
            m_headSent = true;
            // Tables first so a decoder can start on the keyframe that follows.
            out += rewritten(s.packets[s.patPacket]);
            out += rewritten(s.packets[s.pmtPacket]);
            return {out, -m_lead / 90};
        }
        out.reserve(kMaxChunkPackets * kTsPacket);
        // One chunk per PCR interval: everything in it is due at the same moment.
        qint64 time = -1, due = 0;
        while (true) {
            if (m_pos == s.packets.size()) {
                m_pos = 0;
                ++m_pass;
                if (!out.isEmpty())
                    break;
                time = -1;
            }
            const TsSource::Packet &p = s.packets[m_pos];
            if (time >= 0 && (p.time != time || out.size() >= kMaxChunkPackets * kTsPacket)) {
                if (!out.isEmpty())
                    break;
                time = -1;
            }
            if (time < 0) {
                time = p.time;
                due = (time + (m_pass - m_firstPass) * s.loop - m_start - m_lead) / 90;
            }
            if (p.unitStart)
                m_started[p.pid] = true;
            if (p.keep && m_started[p.pid])
                out += rewritten(p);
            ++m_pos;
        }
        return {out, due};
    }

private:
    QByteArray rewritten(const TsSource::Packet &p)
    {
        QByteArray b = m_src->data.mid(p.offset, kTsPacket);
        char *d = b.data();
        int &cc = m_cc[p.pid];
        // Counters run on across joins and passes, so the stream never looks broken.
        if (p.payload)
            cc = (cc + 1) & 15;
        d[3] = char((uchar(d[3]) & 0xf0) | cc);
        const qint64 shift = m_pass * m_src->loop;
        if (p.pcrAt >= 0) {
            const qint64 base = readPcrBase(reinterpret_cast<const uchar *>(d + p.pcrAt));
            writePcrBase(d + p.pcrAt, ((base + shift) % kTsWrap + kTsWrap) % kTsWrap);
        }
        for (const int at : {int(p.ptsAt), int(p.dtsAt)}) {
            if (at < 0)
                continue;
            const qint64 v = readTimestamp(reinterpret_cast<const uchar *>(d + at));
            writeTimestamp(d + at, ((v + shift) % kTsWrap + kTsWrap) % kTsWrap);
        }
        return b;
    }

    std::shared_ptr<const TsSource> m_src;
    bool m_headSent = false;
    int m_pos = 0;
    qint64 m_pass = 0; // absolute, so every viewer sees the same timestamps
    qint64 m_firstPass = 0;
    qint64 m_start = 0;
    qint64 m_lead = 0;
    QList<int> m_cc;
    QList<bool> m_started;
};

std::unique_ptr<Stream> TsSource::open(qint64 clockMs) const
{
    return std::make_unique<TsStream>(shared_from_this(), clockMs);
}

} // namespace

QList<HlsSegment> parseMediaPlaylist(const QByteArray &text)
{
    QList<HlsSegment> out;
    qint64 pending = -1;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("#EXTINF:")) {
            QByteArray value = line.mid(8);
            const qsizetype comma = value.indexOf(',');
            if (comma >= 0)
                value.truncate(comma);
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            pending = ok && seconds > 0 ? qRound64(seconds * 1000) : -1;
        } else if (!line.isEmpty() && !line.startsWith('#')) {
            if (pending > 0)
                out.append({line, pending});
            pending = -1;
        }
    }
    return out;
}

QByteArray livePlaylist(const QList<HlsSegment> &segments, qint64 clockMs, int window)
{
    if (segments.isEmpty() || window < 1)
        return {};
    const qint64 count = segments.size();
    qint64 loop = 0, longest = 0;
    for (const HlsSegment &s : segments) {
        loop += s.durationMs;
        longest = std::max(longest, s.durationMs);
    }
    const qint64 clock = std::max<qint64>(0, clockMs);
    qint64 into = clock % loop;
    qint64 index = 0;
    while (into >= segments[index].durationMs)
        into -= segments[index++].durationMs;
    const qint64 first = clock / loop * count + index;
    // Each wrap carries a discontinuity tag; count the ones that have slid out of the window.
    const qint64 gone = first > 0 ? (first - 1) / count : 0;

    QByteArray out = "#EXTM3U\n#EXT-X-VERSION:3\n";
    out += "#EXT-X-TARGETDURATION:"
        + QByteArray::number(std::max<qint64>(1, (longest + 500) / 1000)) + '\n';
    out += "#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(first) + '\n';
    out += "#EXT-X-DISCONTINUITY-SEQUENCE:" + QByteArray::number(gone) + '\n';
    const qint64 shown = std::min<qint64>(window, count);
    for (qint64 k = first; k < first + shown; ++k) {
        const HlsSegment &s = segments[k % count];
        if (k > 0 && k % count == 0)
            out += "#EXT-X-DISCONTINUITY\n";
        out += "#EXTINF:" + QByteArray::number(s.durationMs / 1000.0, 'f', 3) + ",\n" + s.uri
            + '\n';
    }
    return out;
}

std::shared_ptr<const LoopSource> LoopSource::fromFlv(const QByteArray &data)
{
    const auto *u = reinterpret_cast<const uchar *>(data.constData());
    if (data.size() < 13 || !data.startsWith("FLV") || u[3] != 1)
        return {};
    const qsizetype headerSize = be32(u + 5);
    if (headerSize < 9 || headerSize + 4 > data.size())
        return {};

    struct Tag {
        qsizetype offset, size;
        qint64 time;
        bool video, keyframe;
    };
    QList<Tag> tags;
    QByteArray script, videoConfig, audioConfig;
    auto copyAtZero = [&](qsizetype offset, qsizetype size) {
        QByteArray tag = data.mid(offset, size) + QByteArray(4, '\0');
        setFlvTime(tag.data(), 0);
        putBe32(tag.data() + size, quint32(size));
        return tag;
    };
    for (qsizetype pos = headerSize + 4; pos + kFlvTagHead <= data.size();) {
        const uchar *p = u + pos;
        const qsizetype size = kFlvTagHead + be24(p + 1);
        if (pos + size + 4 > data.size())
            break; // cut short: the rest is unusable anyway
        const qint64 time = be24(p + 4) | qint64(p[7]) << 24;
        const uchar *body = p + kFlvTagHead;
        const qsizetype bodySize = size - kFlvTagHead;
        const int type = p[0] & 0x1f;
        if (type == 18) {
            if (script.isEmpty())
                script = copyAtZero(pos, size);
        } else if (type == 9 && bodySize >= 2) {
            const int frameType = body[0] >> 4, codec = body[0] & 0x0f;
            if (codec != 7)
                return {};
            if (body[1] == 0) {
                if (videoConfig.isEmpty())
                    videoConfig = copyAtZero(pos, size);
            } else if (body[1] == 1 && frameType != 5) { // end-of-sequence would stop a decoder
                tags.append({pos, size, time, true, frameType == 1});
            }
        } else if (type == 8 && bodySize >= 1) {
            if ((body[0] >> 4) == 10 && bodySize >= 2 && body[1] == 0) {
                if (audioConfig.isEmpty())
                    audioConfig = copyAtZero(pos, size);
            } else {
                tags.append({pos, size, time, false, false});
            }
        }
        pos += size + 4;
    }

    const auto firstKey = std::find_if(
        tags.cbegin(), tags.cend(), [](const Tag &t) { return t.video && t.keyframe; });
    if (videoConfig.isEmpty() || firstKey == tags.cend())
        return {};
    auto src = std::make_shared<FlvSource>();
    src->data = data;
    src->origin = firstKey->time;
    // Video sets the loop: its frames follow on evenly across the join.
    qint64 videoCount = 0, videoLast = src->origin, audioCount = 0, audioFirst = 0, audioLast = 0;
    for (const Tag &t : tags) {
        if (t.video && t.time >= src->origin) {
            ++videoCount;
            videoLast = std::max(videoLast, t.time);
        } else if (!t.video) {
            audioFirst = audioCount++ ? std::min(audioFirst, t.time) : t.time;
            audioLast = std::max(audioLast, t.time);
        }
    }
    if (videoCount < 2)
        return {};
    src->loop = videoLast - src->origin + frameLength(src->origin, videoLast, videoCount);
    const qint64 audioFrame = frameLength(audioFirst, audioLast, audioCount);

    // Audio hanging over the end of the loop belongs at the start of the next pass; keep it there
    // so the stream stays in time order, and drop what would then overlap.
    struct Placed {
        Tag tag;
        qint64 time;
        bool moved;
    };
    QList<Placed> video, audio;
    for (const Tag &t : tags) {
        if (t.video && t.time < src->origin)
            continue;
        const qint64 time = t.time - floorDiv(t.time - src->origin, src->loop) * src->loop;
        (t.video ? video : audio).append({t, time, time != t.time});
    }
    auto byTime = [](const Placed &a, const Placed &b) {
        return a.time != b.time ? a.time < b.time : (a.moved != b.moved ? !a.moved : false);
    };
    std::stable_sort(audio.begin(), audio.end(), byTime);
    QList<Placed> kept;
    const qint64 minSpacing = std::max<qint64>(1, audioFrame / 2);
    for (const Placed &a : audio) {
        if (kept.isEmpty() || a.time - kept.last().time >= minSpacing)
            kept.append(a);
    }
    while (kept.size() > 1 && kept.first().time + src->loop - kept.last().time < minSpacing)
        kept.removeLast();
    kept += video;
    std::stable_sort(kept.begin(), kept.end(), [](const Placed &a, const Placed &b) {
        return a.time != b.time ? a.time < b.time : a.tag.offset < b.tag.offset;
    });
    for (const Placed &p : kept) {
        if (p.tag.video && p.tag.keyframe)
            src->keyframes.append(int(src->entries.size()));
        src->entries.append({p.tag.offset, p.tag.size, p.time, p.tag.keyframe});
    }

    const bool hasAudio = !audioConfig.isEmpty() || audioCount > 0;
    QByteArray head("FLV\x01\x00\x00\x00\x00\x09\x00\x00\x00\x00", 13);
    head[4] = char(0x01 | (hasAudio ? 0x04 : 0));
    src->head = head + script + videoConfig + audioConfig;
    return src;
}

std::shared_ptr<const LoopSource> LoopSource::fromTs(const QByteArray &data)
{
    const qsizetype count = data.size() / kTsPacket;
    if (count < 3)
        return {};
    const auto *u = reinterpret_cast<const uchar *>(data.constData());
    auto src = std::make_shared<TsSource>();
    src->data = data;

    // Programme tables: the first PAT names the PMT, which lists the streams.
    QHash<quint16, int> streamTypes;
    for (qsizetype i = 0; i < count && src->pmtOffset < 0; ++i) {
        const uchar *p = u + i * kTsPacket;
        if (p[0] != 0x47)
            return {};
        const quint16 pid = quint16((p[1] & 0x1f) << 8 | p[2]);
        const int at = sectionStart(p);
        if (at < 0)
            continue;
        const uchar *sec = p + at;
        const int length = (sec[1] & 0x0f) << 8 | sec[2];
        const int end = std::min<int>(at + 3 + length - 4, kTsPacket); // before the CRC
        if (pid == 0 && src->patOffset < 0 && sec[0] == 0x00) {
            for (int e = at + 8; e + 4 <= end; e += 4) {
                const int program = p[e] << 8 | p[e + 1];
                if (program != 0) {
                    src->pmtPid = quint16((p[e + 2] & 0x1f) << 8 | p[e + 3]);
                    src->patOffset = i * kTsPacket;
                    break;
                }
            }
        } else if (src->patOffset >= 0 && pid == src->pmtPid && sec[0] == 0x02) {
            if (at + 12 > kTsPacket)
                return {};
            int e = at + 12 + ((sec[10] & 0x0f) << 8 | sec[11]);
            for (; e + 5 <= end; e += 5 + ((p[e + 3] & 0x0f) << 8 | p[e + 4]))
                streamTypes.insert(quint16((p[e + 1] & 0x1f) << 8 | p[e + 2]), p[e]);
            src->pmtOffset = i * kTsPacket;
        }
    }
    if (src->pmtOffset < 0 || streamTypes.isEmpty())
        return {};
    int master = -1;
    for (auto it = streamTypes.cbegin(); it != streamTypes.cend(); ++it) {
        if (isVideoStreamType(it.value()) && (master < 0 || it.key() < master))
            master = it.key();
    }
    if (master < 0)
        return {};

    struct Track {
        qint64 first = 0, last = 0, count = 0;
    };
    QHash<quint16, Track> tracks;
    qint64 pcr = -1;
    bool anyRandomAccess = false;
    src->packets.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const uchar *p = u + i * kTsPacket;
        if (p[0] != 0x47)
            return {};
        TsSource::Packet pk;
        pk.offset = i * kTsPacket;
        pk.pid = quint16((p[1] & 0x1f) << 8 | p[2]);
        if (pk.pid == 0x1fff)
            continue; // stuffing
        pk.unitStart = p[1] & 0x40;
        pk.payload = p[3] & 0x10;
        int payloadAt = 4;
        bool randomAccess = false;
        if (p[3] & 0x20) {
            const int afLength = p[4];
            if (afLength > 183)
                return {};
            if (afLength > 0) {
                randomAccess = p[5] & 0x40;
                if ((p[5] & 0x10) && afLength >= 7) {
                    pk.pcrAt = 6;
                    pcr = readPcrBase(p + 6);
                }
            }
            payloadAt = 5 + afLength;
        }
        pk.time = pcr;
        if (pk.unitStart && pk.payload && streamTypes.contains(pk.pid)
            && payloadAt + 19 <= kTsPacket && p[payloadAt] == 0 && p[payloadAt + 1] == 0
            && p[payloadAt + 2] == 1) {
            const int flags = p[payloadAt + 7];
            if (flags & 0x80)
                pk.ptsAt = qint16(payloadAt + 9);
            if ((flags & 0xc0) == 0xc0)
                pk.dtsAt = qint16(payloadAt + 14);
            if (pk.ptsAt >= 0) {
                const qint64 dts = readTimestamp(p + (pk.dtsAt >= 0 ? pk.dtsAt : pk.ptsAt));
                Track &t = tracks[pk.pid];
                t.first = t.count ? std::min(t.first, dts) : dts;
                t.last = t.count ? std::max(t.last, dts) : dts;
                ++t.count;
                if (pk.pid == master && randomAccess) {
                    src->keyframes.append(int(src->packets.size()));
                    anyRandomAccess = true;
                }
            }
        }
        if (pk.offset == src->patOffset)
            src->patPacket = int(src->packets.size());
        if (pk.offset == src->pmtOffset)
            src->pmtPacket = int(src->packets.size());
        src->packets.append(pk);
    }
    const Track video = tracks.value(quint16(master));
    if (pcr < 0 || video.count < 2 || src->packets.isEmpty())
        return {};
    if (!anyRandomAccess) {
        // Without marked access points only the very start is a safe place to join.
        for (int i = 0; i < src->packets.size(); ++i) {
            if (src->packets[i].pid == master && src->packets[i].ptsAt >= 0) {
                src->keyframes.append(i);
                break;
            }
        }
    }
    // Packets before the first PCR go out with it.
    qint64 firstPcr = -1;
    for (const TsSource::Packet &pk : std::as_const(src->packets)) {
        if (pk.time >= 0) {
            firstPcr = pk.time;
            break;
        }
    }
    for (TsSource::Packet &pk : src->packets) {
        if (pk.time >= 0)
            break;
        pk.time = firstPcr;
    }
    src->loop = video.last - video.first + frameLength(video.first, video.last, video.count);

    // Drop the other streams' frames that would run into their own start on the next pass.
    QHash<quint16, bool> keepUnit;
    for (TsSource::Packet &pk : src->packets) {
        if (pk.pid == master || !tracks.contains(pk.pid))
            continue;
        if (pk.ptsAt >= 0) {
            const Track &t = tracks[pk.pid];
            const qint64 frame = frameLength(t.first, t.last, t.count);
            const qint64 at = pk.dtsAt >= 0 ? pk.dtsAt : pk.ptsAt;
            const qint64 dts = readTimestamp(u + pk.offset + at);
            keepUnit[pk.pid] = dts <= t.first + src->loop - frame / 2 - (frame == 0 ? 1 : 0);
        }
        pk.keep = keepUnit.value(pk.pid, true);
    }
    return src;
}

} // namespace LiveMedia
