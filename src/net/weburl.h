#pragma once

#include <QString>
#include <QUrl>

namespace WebUrl {

// Reads text as a browser's address bar does: surrounding blanks and control
// characters go, tabs and line breaks inside are dropped, and characters a
// URL cannot hold (blanks, "|", non-ASCII) are percent-encoded. The result is
// returned only when it is an http or https address with a host; otherwise
// an empty QUrl. Everything the network hands us passes through here before
// it is loaded or fetched.
QUrl fromText(const QString &text);

// Whether url may be loaded or handed to the browser: http or https with a host.
bool isWebAddress(const QUrl &url);

// Multicast (or unicast) datagrams, as operators' lists name them: udp:// or
// rtp://, an IPv4 group and a port.
bool isDatagramAddress(const QUrl &url);

// What the player may open: a web address as fromText() reads it, or a
// datagram stream (udp:// or rtp://, a host and a port), which the player
// receives itself. Empty for anything else.
QUrl playable(const QString &text);

// Why text read as fromText() does cannot be played, in the viewer's words:
// "不支持的地址（RTSP）" for an address of another kind, "地址无效" for text
// that is no address at all (the "http" a list cut short leaves behind).
// Empty for an address playable() takes.
QString refusal(const QString &text);

} // namespace WebUrl
