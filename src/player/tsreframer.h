#pragma once

#include "streamcodecs.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>

#include <array>
#include <bitset>

// The checksum that closes every table section in an MPEG-TS.
quint32 mpegCrc32(QByteArrayView bytes);

// Reads an MPEG-TS arriving in chunks of any size, finds its packets (after
// garbage, a start in mid-packet or a lost packet edge) and the codecs of its
// first program, and can strip its sound on the way through.
// Whatever the input, the work per byte is bounded (a table costs what its
// own bytes hold, a table seen before costs nothing), and once take() has
// returned what is ready at most MaxHeldBack bytes stay behind.
class TsReframer {
public:
    static constexpr qsizetype packetSize = 188;
    // What pending() may hold once take() has returned the rest.
    static constexpr qsizetype MaxHeldBack = 66 * packetSize;

    void push(QByteArrayView bytes);

    // The first program's table of streams has been read.
    bool programKnown() const { return m_programKnown; }
    // Its first video and first audio stream.
    StreamCodecs codecs() const { return m_codecs; }

    // From now on, and in what was not taken yet, every audio stream's packets
    // are left out and every program table is rewritten without them.
    void setDropAudio(bool drop);

    // The whole packets ready so far, in order. The last packet waits for the
    // first byte of the next, which confirms it was whole.
    QByteArray take();
    // The stream has ended (an HLS segment, a file): a last packet of exactly
    // a packet's size is whole, and what was held back for rewriting goes.
    void finish();
    // Bytes pushed that take() has not returned yet.
    qsizetype pending() const { return m_input.size() + m_output.size(); }

private:
    static constexpr int pidCount = 0x2000;

    void onPacket(const char *packet);
    void output(QByteArrayView packet);
    void readSections(int pid, bool unitStart, QByteArrayView payload);
    void readWholeSections(int pid, QByteArray &sections);
    void onSection(int pid, QByteArrayView section);
    void onProgramList(QByteArrayView section);
    void setAudioPids(int tablePid, const QList<int> &pids);
    void gatherTable(int pid, bool unitStart, qsizetype at);
    void rewriteGatheredTable();
    void releaseGathered();

    QByteArray m_input; // not yet framed
    QByteArray m_output; // framed, not yet taken
    bool m_synced = false;
    bool m_dropAudio = false;

    QHash<int, QByteArray> m_sections; // table section being read, by PID
    QList<int> m_tablePids; // of each program's table of streams, first program first
    std::bitset<pidCount> m_isTablePid;
    bool m_tablesChanged = false;
    qint64 m_programListCrc = -1; // of the last program list read
    QHash<int, quint32> m_tableCrcs; // of the last section read, by table PID
    QHash<int, QList<int>> m_audioPidsByTable;
    // How many tables name each PID as sound.
    std::array<quint16, pidCount> m_audioUses {};
    bool m_programKnown = false;
    StreamCodecs m_codecs;

    // A program table being gathered for rewriting holds back the output
    // from its first packet on.
    int m_gatheredPid = -1;
    QList<qsizetype> m_gathered; // where its packets are in m_output
    QByteArray m_gatheredPayload; // their payloads, joined
    qsizetype m_heldFrom = -1;
};
