#pragma once
#include "livemedia.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QTimer;
class QUdpSocket;

// An endless MPEG-TS channel sent as IPTV head-ends send it: seven packets to a datagram, in real
// time, to a UDP port or a multicast group, bare or in RTP (version 2, payload type 33, 90 kHz
// timestamps). Nobody has to listen. A multicast group gets TTL 0 with loopback on, so it reaches
// this machine's own receivers and goes no further.
class DatagramSender : public QObject {
    Q_OBJECT
public:
    static constexpr int kPacketsPerDatagram = 7;
    static constexpr int kRtpHeaderBytes = 12;
    static constexpr int kRtpPayloadType = 33; // MPEG-2 transport stream

    // Starts sending at once, from the source's start; sends nothing when source is null.
    DatagramSender(std::shared_ptr<const LiveMedia::LoopSource> source, const QHostAddress &address,
        quint16 port, bool rtp, QObject *parent = nullptr);
    ~DatagramSender() override;

    // Why this machine does not hear its own multicast (no route for it, a container without
    // it), or empty when it does: a group joined on the default interface, as a receiver joins
    // one, hears a datagram sent to it as this class sends. Takes up to a second.
    static QString multicastUnavailable();

private:
    void pump();
    void send(const QByteArray &packets, qint64 atMs);

    std::unique_ptr<LiveMedia::Stream> m_stream;
    QUdpSocket *m_socket;
    QTimer *m_pace;
    QHostAddress m_address;
    quint16 m_port;
    bool m_rtp;
    bool m_onLoopback = false;
    QElapsedTimer m_clock;
    LiveMedia::Chunk m_chunk;
    bool m_haveChunk = false;
    qint64 m_lead = -1;
    QByteArray m_pending;
    quint16 m_sequence;
    quint32 m_timestampBase;
    quint32 m_ssrc;
};
