#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Request header fields a channel's server wants, in the order given.
using RequestHeaders = QList<QPair<QByteArray, QByteArray>>;

// A channel's address as lists write it, with the channel's own request
// headers after a "|": "http://host/live.m3u8|User-Agent=Box%2F1.0&Referer=…".
struct ChannelAddress {
    QString address; // the whole text when it names no headers
    RequestHeaders headers;
};

namespace ChannelAddresses {

// The text after the last "|" is headers only when it is one or more
// Name=Value pairs joined by "&", each Name an HTTP field name; values are
// percent-decoded. Anything else after a "|" stays part of the address.
// Fields that frame the connection itself (Host, Content-Length, …) are never
// taken from a list.
ChannelAddress split(const QString &text);

} // namespace ChannelAddresses
