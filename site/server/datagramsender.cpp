#include "datagramsender.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace {

constexpr qsizetype kTsPacket = 188;

void sendToGroupHereOnly(QUdpSocket *socket)
{
    socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 0);
    socket->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
}

QNetworkInterface loopbackInterface()
{
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    const auto lo = std::find_if(all.begin(), all.end(), [](const QNetworkInterface &i) {
        return i.flags().testFlag(QNetworkInterface::IsLoopBack);
    });
    return lo != all.end() ? *lo : QNetworkInterface();
}

} // namespace

DatagramSender::DatagramSender(std::shared_ptr<const LiveMedia::LoopSource> source,
    const QHostAddress &address, quint16 port, bool rtp, QObject *parent)
    : QObject(parent), m_socket(new QUdpSocket(this)), m_pace(new QTimer(this)), m_address(address),
      m_port(port), m_rtp(rtp)
      // Random starting points, as RTP senders pick them, so receivers cannot rely on zero.
      ,
      m_sequence(quint16(QRandomGenerator::global()->generate())),
      m_timestampBase(QRandomGenerator::global()->generate()),
      m_ssrc(QRandomGenerator::global()->generate())
{
    m_pace->setSingleShot(true);
    m_pace->setTimerType(Qt::PreciseTimer);
    connect(m_pace, &QTimer::timeout, this, &DatagramSender::pump);
    if (!source)
        return;
    // A group is sent on the default interface, where a receiver joins it without naming one.
    const bool group = address.isMulticast();
    if (!m_socket->bind(
            group ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(QHostAddress::LocalHost), 0))
        return;
    if (group)
        sendToGroupHereOnly(m_socket);
    m_stream = source->open(0);
    m_clock.start();
    pump();
}

DatagramSender::~DatagramSender() = default;

QString DatagramSender::multicastUnavailable()
{
    const QHostAddress group(QStringLiteral("239.255.42.250"));
    QUdpSocket in, out;
    if (!in.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::ShareAddress)
        || !in.joinMulticastGroup(group))
        return QStringLiteral("cannot join a multicast group: ") + in.errorString();
    if (!out.bind(QHostAddress::AnyIPv4, 0))
        return QStringLiteral("cannot send: ") + out.errorString();
    sendToGroupHereOnly(&out);
    if (out.writeDatagram("probe", group, in.localPort()) < 0)
        return QStringLiteral("cannot send to a multicast group: ") + out.errorString();
    const QDeadlineTimer deadline(1000);
    while (in.waitForReadyRead(int(deadline.remainingTime()))) {
        while (in.hasPendingDatagrams()) {
            if (in.receiveDatagram().data() == "probe")
                return {};
        }
    }
    return QStringLiteral("multicast sent here does not come back within 1 s");
}

void DatagramSender::pump()
{
    const qsizetype datagram = kPacketsPerDatagram * kTsPacket;
    while (m_stream) {
        if (!m_haveChunk) {
            m_chunk = m_stream->next();
            // A head-end sends no first-GOP burst: the stream starts in real time.
            if (m_lead < 0)
                m_lead = std::max<qint64>(0, -m_chunk.dueMs);
            m_chunk.dueMs += m_lead;
            m_haveChunk = true;
        }
        const qint64 wait = m_chunk.dueMs - m_clock.elapsed();
        if (wait > 0) {
            m_pace->start(int(std::min<qint64>(wait, 60 * 1000)));
            return;
        }
        m_pending += m_chunk.bytes;
        m_haveChunk = false;
        qsizetype at = 0;
        for (; at + datagram <= m_pending.size(); at += datagram)
            send(m_pending.mid(at, datagram), m_chunk.dueMs);
        m_pending.remove(0, at);
    }
}

void DatagramSender::send(const QByteArray &packets, qint64 atMs)
{
    QByteArray out;
    if (m_rtp) {
        out.resize(kRtpHeaderBytes);
        char *h = out.data();
        const quint32 timestamp = m_timestampBase + quint32(atMs * 90);
        h[0] = char(0x80); // version 2, no padding, extension or contributors
        h[1] = char(kRtpPayloadType);
        h[2] = char(m_sequence >> 8);
        h[3] = char(m_sequence);
        for (int i = 0; i < 4; ++i) {
            h[4 + i] = char(timestamp >> (24 - 8 * i));
            h[8 + i] = char(m_ssrc >> (24 - 8 * i));
        }
        ++m_sequence;
    }
    out += packets;
    if (m_socket->writeDatagram(out, m_address, m_port) < 0 && m_address.isMulticast()
        && !m_onLoopback) {
        // No route for multicast (a machine offline): keep the group on this machine's loopback.
        m_onLoopback = true;
        m_socket->setMulticastInterface(loopbackInterface());
        m_socket->writeDatagram(out, m_address, m_port);
    }
}
