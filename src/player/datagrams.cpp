#include "datagrams.h"

namespace {

constexpr qsizetype packetSize = 188;
constexpr qsizetype rtpHeaderSize = 12;

uchar byteAt(QByteArrayView bytes, qsizetype i)
{
    return static_cast<uchar>(bytes[i]);
}

bool isTs(QByteArrayView bytes)
{
    if (bytes.isEmpty() || bytes.size() % packetSize != 0)
        return false;
    for (qsizetype at = 0; at < bytes.size(); at += packetSize) {
        if (bytes[at] != 0x47)
            return false;
    }
    return true;
}

bool isRtp(QByteArrayView datagram)
{
    return datagram.size() >= rtpHeaderSize && (byteAt(datagram, 0) >> 6) == 2;
}

// A dotted IPv4 address, nothing looser.
QHostAddress ipv4(const QString &text)
{
    const QStringList numbers = text.split(QLatin1Char('.'));
    if (numbers.size() != 4)
        return {};
    for (const QString &number : numbers) {
        bool ok = false;
        if (number.isEmpty() || number.size() > 3 || number.toInt(&ok) > 255 || !ok)
            return {};
    }
    const QHostAddress address(text);
    return address.protocol() == QAbstractSocket::IPv4Protocol ? address : QHostAddress();
}

} // namespace

namespace Datagrams {

QByteArray tsPayload(QByteArrayView datagram)
{
    if (isTs(datagram))
        return datagram.toByteArray();
    if (!isRtp(datagram))
        return {};
    const uchar first = byteAt(datagram, 0);
    qsizetype start = rtpHeaderSize + 4 * (first & 0x0F);
    if (first & 0x10) {
        if (start + 4 > datagram.size())
            return {};
        start += 4 + 4 * ((byteAt(datagram, start + 2) << 8) | byteAt(datagram, start + 3));
    }
    qsizetype end = datagram.size();
    if (first & 0x20)
        end -= byteAt(datagram, end - 1);
    if (start >= end)
        return {};
    const QByteArrayView payload = datagram.sliced(start, end - start);
    return isTs(payload) ? payload.toByteArray() : QByteArray();
}

Source parse(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if ((scheme != QLatin1String("udp") && scheme != QLatin1String("rtp")) || !url.isValid()
        || !url.password().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/"))
        || url.port() < 1 || url.port() > 65535)
        return {};
    Source found;
    found.group = ipv4(url.host());
    if (found.group.isNull() || found.group == QHostAddress(QHostAddress::AnyIPv4))
        return {};
    if (!url.userName().isEmpty()) {
        found.source = ipv4(url.userName());
        if (found.source.isNull())
            return {};
    }
    found.port = static_cast<quint16>(url.port());
    found.rtp = scheme == QLatin1String("rtp");
    return found;
}

} // namespace Datagrams
