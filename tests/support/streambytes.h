#pragma once

// Stream bytes built by hand, as a server might send them: MPEG-TS packets and
// tables, FLV tags, RTP. Also the streams built to a reader's weak points.

#include "player/tsreframer.h"

#include <QByteArray>
#include <QtEndian>

namespace StreamBytes {

using B = QByteArray;

inline B bigEndian(quint32 value, int count)
{
    const quint32 ordered = qToBigEndian(value);
    return B(reinterpret_cast<const char *>(&ordered) + 4 - count, count);
}

// One TS packet; a payload shorter than 184 bytes is padded with stuffing.
inline B packet(int pid, const B &payload, bool start = true, int counter = 0)
{
    const B head = "\x47" + bigEndian((start ? 0x4000 : 0) | pid, 2) + char(0x10 | (counter & 15));
    return (head + payload).leftJustified(188, '\xFF');
}

// A packet that carries an adaptation field and no payload.
inline B adaptationOnly(int pid, int counter = 0)
{
    return "\x47" + bigEndian(pid, 2) + char(0x20 | (counter & 15)) + char(183) + B(183, '\xFF');
}

// A table section: header, body, checksum.
inline B section(int id, const B &body)
{
    const B s = char(id) + bigEndian(0xB000 | (body.size() + 4), 2) + body;
    return s + bigEndian(mpegCrc32(s), 4);
}

// A table section over as many packets as it needs.
inline B table(int pid, int id, const B &body, char pointer = 0)
{
    const B payload = B(1, pointer) + B(pointer, '\xFF') + section(id, body);
    B packets;
    for (int at = 0; at < payload.size(); at += 184)
        packets += packet(pid, payload.mid(at, 184), at == 0, at / 184);
    return packets;
}

// One entry of a program table.
inline B stream(int type, int pid, const B &descriptors = {})
{
    return char(type) + bigEndian(0xE000 | pid, 2) + bigEndian(0xF000 | descriptors.size(), 2)
        + descriptors;
}

// Program number, version 0, the only section.
inline B programHeader(int number = 1)
{
    return bigEndian(number, 2) + B("\xC1\x00\x00", 3);
}

inline const B pat = table(0, 0, programHeader() + bigEndian(0x1E000 | 0x1000, 4));

// The program table body (after the program header) for streams.
inline B programBody(const B &streams, int programInfo = 0)
{
    return bigEndian(0xE100, 2) + bigEndian(0xF000 | programInfo, 2) + B(programInfo, '\x01')
        + streams;
}

// The program table, on PID 0x1000.
inline B pmt(const B &streams, int programInfo = 0, char pointer = 0)
{
    return table(0x1000, 2, programHeader() + programBody(streams, programInfo), pointer);
}

inline const B h264Aac = stream(0x1B, 0x100) + stream(0x0F, 0x101);
inline const B media = packet(0x100, "v") + packet(0x101, "a") + packet(0x100, "v", false, 1);

inline B flvTag(int type, const B &data, quint32 time = 0)
{
    return char(type) + bigEndian(data.size(), 3) + bigEndian(time, 3) + char(time >> 24)
        + bigEndian(0, 3) + data + bigEndian(11 + data.size(), 4);
}
inline B flvHeader(char flags)
{
    return "FLV\x01" + B(1, flags) + bigEndian(9, 4) + bigEndian(0, 4);
}
inline B metadata(bool sound)
{
    return B("\x02\x00\x0AonMetaData\x08\x00\x00\x00\x01\x00\x08hasAudio\x01", 29) + char(sound);
}

inline B rtp(const B &payload, int csrcs, int extensionWords, int padding)
{
    B bytes = char(0x80 | (padding ? 0x20 : 0) | (extensionWords >= 0 ? 0x10 : 0) | csrcs)
        + B("\x21\x00\x07", 3) + B(8 + 4 * csrcs, '\x5A');
    if (extensionWords >= 0)
        bytes += bigEndian(0xBEDE0000 | extensionWords, 4) + B(4 * extensionWords, 'e');
    return bytes + payload + B(std::max(padding - 1, 0), '\0') + B(padding ? 1 : 0, char(padding));
}

// Hostile streams: a head that sets the trap, and a block that springs it,
// repeated for as long as the stream goes on.
struct Hostile {
    B head;
    B block;
    B bytes(qsizetype size) const
    {
        B all = head;
        while (all.size() < size)
            all += block;
        return all;
    }
};

// 253 programs whose tables list 201 sound streams each, then packet after
// packet of tiny empty tables for the last program.
inline Hostile tableFlood()
{
    constexpr int programs = 253, sounds = 201;
    B list;
    for (int p = 1; p <= programs; ++p)
        list += bigEndian(p, 2) + bigEndian(0xE000 | (0x20 + p), 2);
    Hostile h;
    h.head = table(0, 0, programHeader() + list);
    for (int p = 1; p <= programs; ++p) {
        B streams;
        for (int s = 0; s < sounds; ++s)
            streams += stream(0x0F, 0x1100 + p * sounds % 0x0E00 + s);
        h.head += table(0x20 + p, 2, programHeader(p) + programBody(streams));
    }
    const B empty = section(2, programHeader(programs) + programBody({}));
    h.block = packet(0x20 + programs, B(1, '\0') + empty.repeated(11));
    return h;
}

// H.264 with AC-3 sound (so the sound is stripped and program tables are
// rewritten), then a program table that never ends: its first packet, then
// packets of its PID with no payload at all.
inline Hostile endlessTable()
{
    Hostile h;
    h.head = pat + pmt(stream(0x1B, 0x100) + stream(0x81, 0x101)) + media;
    const B opening = section(2, programHeader() + programBody({}, 985));
    h.head += packet(0x1000, B(1, '\0') + opening.left(183));
    h.block = adaptationOnly(0x1000);
    return h;
}

} // namespace StreamBytes
