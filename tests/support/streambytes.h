#pragma once

// Stream bytes built by hand, as a server might send them, and streams
// built to a reader's weak points.

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

inline B packet(int pid, const B &payload, bool start = true, int counter = 0)
{
    const B head = "\x47" + bigEndian((start ? 0x4000 : 0) | pid, 2) + char(0x10 | (counter & 15));
    return (head + payload).leftJustified(188, '\xFF');
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

inline B stream(int type, int pid, const B &descriptors = {})
{
    return char(type) + bigEndian(0xE000 | pid, 2) + bigEndian(0xF000 | descriptors.size(), 2)
        + descriptors;
}

// A program's number, version 0, and what a program table says before its streams.
inline B programHeader(int number = 1)
{
    return bigEndian(number, 2) + B("\xC1\x00\x00", 3);
}
inline B programBody(const B &streams, int programInfo = 0)
{
    return bigEndian(0xE100, 2) + bigEndian(0xF000 | programInfo, 2) + B(programInfo, '\x01')
        + streams;
}

inline const B pat = table(0, 0, programHeader() + bigEndian(0x1E000 | 0x1000, 4));

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

// A head that sets the trap, then a block that springs it, for as long as
// the stream goes on.
struct Hostile {
    B head, block;
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
    B programs, tables;
    for (int p = 1; p <= 253; ++p) {
        programs += bigEndian(p, 2) + bigEndian(0xE000 | (0x20 + p), 2);
        B sounds;
        for (int s = 0; s < 201; ++s)
            sounds += stream(0x0F, 0x1100 + p * 201 % 0x0E00 + s);
        tables += table(0x20 + p, 2, programHeader(p) + programBody(sounds));
    }
    const B empty = section(2, programHeader(253) + programBody({}));
    return {table(0, 0, programHeader() + programs) + tables,
        packet(0x20 + 253, B(1, '\0') + empty.repeated(11))};
}

// H.264 with AC-3 (so the sound goes and program tables are rewritten), then
// a program table that never ends: its first packet, then packets of its PID
// with no payload at all.
inline Hostile endlessTable()
{
    const B opening = section(2, programHeader() + programBody({}, 985));
    return {pat + pmt(stream(0x1B, 0x100) + stream(0x81, 0x101)) + media
            + packet(0x1000, B(1, '\0') + opening.left(183)),
        B("\x47\x10\x00\x20\xB7", 5) + B(183, '\xFF')};
}

} // namespace StreamBytes
