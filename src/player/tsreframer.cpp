#include "tsreframer.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr qsizetype packetSize = TsReframer::packetSize;
constexpr char syncByte = 0x47;
constexpr int patPid = 0;
constexpr int longestTable = 3 + 1021; // section header and the longest section length
// Packets held back while one program table spanning several is gathered.
constexpr int mostHeldPackets = 64;

constexpr std::array<quint32, 256> crcTable = [] {
    std::array<quint32, 256> table {};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 crc = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        table[i] = crc;
    }
    return table;
}();

uchar byteAt(QByteArrayView bytes, qsizetype i)
{
    return static_cast<uchar>(bytes[i]);
}

int twelveBits(QByteArrayView bytes, qsizetype at)
{
    return ((byteAt(bytes, at) & 0x0F) << 8) | byteAt(bytes, at + 1);
}

int pidAt(QByteArrayView bytes, qsizetype at)
{
    return ((byteAt(bytes, at) & 0x1F) << 8) | byteAt(bytes, at + 1);
}

// Where a packet's payload lies; empty when it has none or lies about it.
QByteArrayView payloadOf(QByteArrayView packet)
{
    const int control = (byteAt(packet, 3) >> 4) & 0x3;
    qsizetype start = 4;
    if (control & 0x2)
        start += 1 + byteAt(packet, 4);
    if (!(control & 0x1) || start >= packetSize)
        return {};
    return packet.sliced(start);
}

Codec codecFromRegistration(QByteArrayView format)
{
    if (format == "AC-3")
        return Codec::Ac3;
    if (format == "EAC3")
        return Codec::Eac3;
    if (format == "Opus")
        return Codec::Opus;
    if (format == "HEVC")
        return Codec::H265;
    if (format == "AV01")
        return Codec::Av1;
    if (format == "DTS1" || format == "DTS2" || format == "DTS3")
        return Codec::Dts;
    if (format == "BSSD")
        return Codec::Lpcm;
    if (format == "VC-1" || format == "drac")
        return Codec::OtherVideo;
    return Codec::None;
}

// Private data streams say what they carry in their descriptors.
Codec codecFromDescriptors(QByteArrayView descriptors)
{
    for (qsizetype at = 0; at + 2 <= descriptors.size();) {
        const int tag = byteAt(descriptors, at);
        const int length = byteAt(descriptors, at + 1);
        const QByteArrayView body = descriptors.sliced(at + 2).first(
            std::min<qsizetype>(length, descriptors.size() - at - 2));
        switch (tag) {
        case 0x05:
            if (body.size() >= 4 && codecFromRegistration(body.first(4)) != Codec::None)
                return codecFromRegistration(body.first(4));
            break;
        case 0x6A:
            return Codec::Ac3;
        case 0x7A:
            return Codec::Eac3;
        case 0x7B:
            return Codec::Dts;
        case 0x7C:
            return Codec::Aac;
        case 0x7F: // extension: DTS-HD, AC-4
            if (!body.isEmpty() && byteAt(body, 0) == 0x0E)
                return Codec::Dts;
            if (!body.isEmpty() && byteAt(body, 0) == 0x15)
                return Codec::OtherAudio;
            break;
        }
        at += 2 + length;
    }
    return Codec::None;
}

// None for streams that are neither picture nor sound (data, subtitles).
Codec codecOfStream(int type, QByteArrayView descriptors)
{
    switch (type) {
    case 0x01:
        return Codec::Mpeg1Video;
    case 0x02:
        return Codec::Mpeg2Video;
    case 0x10:
        return Codec::Mpeg4Video;
    case 0x1B:
        return Codec::H264;
    case 0x24:
        return Codec::H265;
    case 0x21: // JPEG 2000
    case 0x33: // H.266
    case 0x42: // AVS
    case 0xD1: // Dirac
    case 0xEA: // VC-1
        return Codec::OtherVideo;
    case 0x03:
    case 0x04:
        return Codec::MpegAudio;
    case 0x0F:
    case 0x11:
        return Codec::Aac;
    case 0x80:
        return Codec::Lpcm;
    case 0x81:
        return Codec::Ac3;
    case 0x87:
        return Codec::Eac3;
    // 0x82 to 0x86 are sound on discs only; on air they are subtitles and
    // splice cues (0x86), which are neither.
    case 0x1C:
    case 0x2D:
    case 0x2E:
        return Codec::OtherAudio;
    case 0x06:
        return codecFromDescriptors(descriptors);
    }
    return Codec::None;
}

struct StreamEntry {
    qsizetype at; // where the entry starts in the section
    qsizetype size;
    int pid;
    Codec codec;
};

// The entries of a program table whose checksum holds; false when it does not
// or its lengths do not add up.
bool readProgramTable(QByteArrayView section, qsizetype &firstEntry, QList<StreamEntry> &entries)
{
    if (section.size() < 16 || byteAt(section, 0) != 0x02 || mpegCrc32(section) != 0)
        return false;
    const qsizetype end = section.size() - 4;
    firstEntry = 12 + twelveBits(section, 10);
    if (firstEntry > end)
        return false;
    entries.clear();
    for (qsizetype at = firstEntry; at < end;) {
        if (at + 5 > end)
            return false;
        const qsizetype size = 5 + twelveBits(section, at + 3);
        if (at + size > end)
            return false;
        const Codec codec = codecOfStream(byteAt(section, at), section.sliced(at + 5, size - 5));
        entries.append({at, size, pidAt(section, at + 1), codec});
        at += size;
    }
    return true;
}

void putBigEndian32(char *to, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        to[i] = static_cast<char>(value >> (24 - 8 * i));
}

// The program table without its audio streams; empty when it cannot be read.
QByteArray withoutAudio(QByteArrayView section)
{
    qsizetype firstEntry = 0;
    QList<StreamEntry> entries;
    if (!readProgramTable(section, firstEntry, entries))
        return {};
    QByteArray result = section.first(firstEntry).toByteArray();
    for (const StreamEntry &entry : entries) {
        if (!Codecs::isAudio(entry.codec))
            result += section.sliced(entry.at, entry.size);
    }
    const qsizetype length = result.size() + 4 - 3;
    result[1] = static_cast<char>((byteAt(section, 1) & 0xF0) | (length >> 8));
    result[2] = static_cast<char>(length & 0xFF);
    result.resize(result.size() + 4);
    putBigEndian32(result.data() + result.size() - 4, mpegCrc32(result.first(result.size() - 4)));
    return result;
}

} // namespace

quint32 mpegCrc32(QByteArrayView bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes)
        crc = (crc << 8) ^ crcTable[((crc >> 24) ^ static_cast<uchar>(c)) & 0xFF];
    return crc;
}

void TsReframer::push(QByteArrayView bytes)
{
    m_input.append(bytes);
    const char *data = m_input.constData();
    const qsizetype size = m_input.size();
    qsizetype at = 0;
    // A packet counts once the next one's sync byte confirms where it ends.
    while (size - at > packetSize) {
        if (!m_synced) {
            // A sync byte counts once two more follow it a packet apart.
            qsizetype found = -1;
            for (; at < size; ++at) {
                if (data[at] != syncByte)
                    continue;
                if (at + 2 * packetSize >= size)
                    break;
                if (data[at + packetSize] == syncByte && data[at + 2 * packetSize] == syncByte) {
                    found = at;
                    break;
                }
            }
            if (found < 0)
                break;
            m_synced = true;
        }
        if (data[at] != syncByte || data[at + packetSize] != syncByte) {
            m_synced = false;
            continue;
        }
        onPacket(data + at);
        at += packetSize;
    }
    m_input.remove(0, std::min(at, size));
}

void TsReframer::finish()
{
    if (m_input.size() == packetSize && m_input.at(0) == syncByte)
        onPacket(m_input.constData());
    m_input.clear();
    if (m_gatheredPid >= 0)
        releaseGathered();
}

void TsReframer::onPacket(const char *bytes)
{
    const QByteArrayView packet(bytes, packetSize);
    const bool damaged = byteAt(packet, 1) & 0x80;
    const bool unitStart = byteAt(packet, 1) & 0x40;
    const int pid = pidAt(packet, 1);
    if (!damaged && (pid == patPid || m_isTablePid.test(pid)))
        readSections(pid, unitStart, payloadOf(packet));
    output(packet);
}

void TsReframer::output(QByteArrayView packet)
{
    const int pid = pidAt(packet, 1);
    if (m_dropAudio && m_audioUses[pid] > 0)
        return;
    const qsizetype at = m_output.size();
    m_output.append(packet);
    if (!m_dropAudio)
        return;
    if (!(byteAt(packet, 1) & 0x80))
        gatherTable(pid, byteAt(packet, 1) & 0x40, at);
    // A table that does not end within reach, whatever the packets after
    // its first, passes as it came.
    if (m_gatheredPid >= 0 && m_output.size() - m_heldFrom > mostHeldPackets * packetSize)
        releaseGathered();
}

void TsReframer::readSections(int pid, bool unitStart, QByteArrayView payload)
{
    QByteArray &section = m_sections[pid];
    if (unitStart) {
        if (payload.isEmpty() || 1 + byteAt(payload, 0) > payload.size()) {
            section.clear();
            return;
        }
        const qsizetype pointer = byteAt(payload, 0);
        // The bytes before the pointer end the section begun earlier.
        if (!section.isEmpty()) {
            section += payload.sliced(1, pointer);
            readWholeSections(pid, section);
        }
        section = payload.sliced(1 + pointer).toByteArray();
    } else if (!section.isEmpty()) {
        section += payload;
    }
    readWholeSections(pid, section);
    if (m_tablesChanged) {
        m_tablesChanged = false;
        for (auto it = m_sections.begin(); it != m_sections.end();) {
            if (it.key() != patPid && !m_isTablePid.test(it.key()))
                it = m_sections.erase(it);
            else
                ++it;
        }
    }
}

void TsReframer::readWholeSections(int pid, QByteArray &sections)
{
    qsizetype at = 0;
    while (sections.size() - at >= 3) {
        const qsizetype length = 3 + twelveBits(sections, at + 1);
        // Stuffing or a lying length: nothing more to read in this packet.
        if (byteAt(sections, at) == 0xFF || length > longestTable) {
            at = sections.size();
            break;
        }
        if (sections.size() - at < length)
            break;
        onSection(pid, QByteArrayView(sections).sliced(at, length));
        at += length;
    }
    sections.remove(0, at);
}

void TsReframer::onSection(int pid, QByteArrayView section)
{
    if (pid == patPid) {
        onProgramList(section);
        return;
    }
    // Tables are repeated several times a second; one read is enough.
    const quint32 crc = qFromBigEndian<quint32>(section.data() + section.size() - 4);
    if (const auto seen = m_tableCrcs.constFind(pid); seen != m_tableCrcs.cend() && *seen == crc)
        return;
    qsizetype firstEntry = 0;
    QList<StreamEntry> entries;
    if (!readProgramTable(section, firstEntry, entries))
        return;
    m_tableCrcs.insert(pid, crc);
    QList<int> audioPids;
    StreamCodecs found;
    for (const StreamEntry &entry : entries) {
        if (Codecs::isAudio(entry.codec)) {
            audioPids.append(entry.pid);
            if (found.audio == Codec::None)
                found.audio = entry.codec;
        } else if (Codecs::isVideo(entry.codec) && found.video == Codec::None) {
            found.video = entry.codec;
        }
    }
    setAudioPids(pid, audioPids);
    if (!m_tablePids.isEmpty() && pid == m_tablePids.constFirst()) {
        m_codecs = found;
        m_programKnown = true;
    }
}

void TsReframer::onProgramList(QByteArrayView section)
{
    if (section.size() < 12 || byteAt(section, 0) != 0x00)
        return;
    const quint32 crc = qFromBigEndian<quint32>(section.data() + section.size() - 4);
    if (crc == m_programListCrc || mpegCrc32(section) != 0)
        return;
    m_programListCrc = crc;
    QList<int> tablePids;
    std::bitset<pidCount> listed;
    for (qsizetype at = 8; at + 4 <= section.size() - 4; at += 4) {
        const int program = (byteAt(section, at) << 8) | byteAt(section, at + 1);
        const int pid = pidAt(section, at + 2);
        // Program 0 names the network table, not a program.
        if (program != 0 && pid != patPid && pid != 0x1FFF && !listed.test(pid)) {
            listed.set(pid);
            tablePids.append(pid);
        }
    }
    if (tablePids == m_tablePids)
        return;
    if (tablePids.value(0, -1) != m_tablePids.value(0, -1)) {
        m_programKnown = false;
        m_codecs = {};
    }
    for (const int pid : qAsConst(m_tablePids)) {
        if (!listed.test(pid)) {
            setAudioPids(pid, {});
            m_audioPidsByTable.remove(pid);
        }
    }
    m_tablePids = tablePids;
    m_isTablePid = listed;
    m_tableCrcs.clear();
    m_tablesChanged = true;
}

// Counts each table's sound streams in and its earlier ones out: the cost is
// that of the tables' own entries, however many other tables there are.
void TsReframer::setAudioPids(int tablePid, const QList<int> &pids)
{
    QList<int> &listed = m_audioPidsByTable[tablePid];
    for (const int pid : qAsConst(listed))
        --m_audioUses[pid];
    listed = pids;
    for (const int pid : pids)
        ++m_audioUses[pid];
}

void TsReframer::setDropAudio(bool drop)
{
    if (drop == m_dropAudio)
        return;
    m_dropAudio = drop;
    releaseGathered();
    if (!drop)
        return;
    // What was not taken yet goes without sound too.
    const QByteArray ready = std::exchange(m_output, {});
    for (qsizetype at = 0; at < ready.size(); at += packetSize)
        output(QByteArrayView(ready).sliced(at, packetSize));
}

QByteArray TsReframer::take()
{
    if (m_heldFrom < 0)
        return std::exchange(m_output, {});
    const QByteArray ready = m_output.first(m_heldFrom);
    m_output.remove(0, m_heldFrom);
    for (qsizetype &at : m_gathered)
        at -= m_heldFrom;
    m_heldFrom = 0;
    return ready;
}

void TsReframer::gatherTable(int pid, bool unitStart, qsizetype at)
{
    const QByteArrayView payload = payloadOf(QByteArrayView(m_output).sliced(at, packetSize));
    if (m_gatheredPid >= 0) {
        const bool other = pid != m_gatheredPid;
        if (!other && !unitStart) {
            m_gathered.append(at);
            m_gatheredPayload += payload;
            rewriteGatheredTable();
        } else if (!other) {
            releaseGathered(); // a new table began before the last one ended
        }
        if (other || !unitStart)
            return;
    }
    if (!unitStart || !m_isTablePid.test(pid))
        return;
    m_gatheredPid = pid;
    m_gathered = {at};
    m_gatheredPayload = payload.toByteArray();
    m_heldFrom = at;
    rewriteGatheredTable();
}

void TsReframer::rewriteGatheredTable()
{
    const QByteArray &joined = m_gatheredPayload;
    // Only a table that starts its first packet's payload is rewritten.
    if (joined.isEmpty() || joined.at(0) != 0) {
        releaseGathered();
        return;
    }
    if (joined.size() < 4)
        return;
    const qsizetype length = 3 + twelveBits(joined, 2);
    if (length > longestTable) {
        releaseGathered();
        return;
    }
    if (joined.size() < 1 + length)
        return;
    // Another section after this one in the same packet would be lost.
    const QByteArrayView after = QByteArrayView(joined).sliced(1 + length);
    const bool onlyStuffing
        = std::all_of(after.begin(), after.end(), [](char c) { return c == '\xFF'; });
    QByteArray rewritten = withoutAudio(QByteArrayView(joined).sliced(1, length));
    if (onlyStuffing && !rewritten.isEmpty()) {
        rewritten.prepend('\0');
        rewritten.append(joined.size() - rewritten.size(), '\xFF');
        qsizetype from = 0;
        for (const qsizetype at : qAsConst(m_gathered)) {
            const QByteArrayView payload
                = payloadOf(QByteArrayView(m_output).sliced(at, packetSize));
            const qsizetype start = at + packetSize - payload.size();
            std::copy_n(rewritten.constData() + from, payload.size(), m_output.data() + start);
            from += payload.size();
        }
    }
    releaseGathered();
}

void TsReframer::releaseGathered()
{
    m_gatheredPid = -1;
    m_gathered.clear();
    m_gatheredPayload.clear();
    m_heldFrom = -1;
}
