#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QUrl>

namespace Datagrams {

// The MPEG-TS one datagram carries: plain TS as it is, or RTP's payload
// without its headers and padding when that is TS; empty for anything else.
QByteArray tsPayload(QByteArrayView datagram);

// Where a multicast (or unicast) stream is received:
// udp://[source@]group:port, udp://@group:port, rtp://[source@]group:port.
struct Source {
    QHostAddress group;
    quint16 port = 0;
    QHostAddress source; // null when any sender will do
    bool rtp = false;
    bool valid() const { return !group.isNull() && port != 0; }
};

// IPv4 addresses only; an invalid Source for anything else.
Source parse(const QUrl &url);

} // namespace Datagrams
