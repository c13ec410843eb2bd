#pragma once

#include "streamcodecs.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QUrl>

#include <functional>

// Each reader here does work in proportion to the text it is given (a line
// with many attributes included) and keeps nothing between calls.
namespace HlsPlaylist {

// After an optional byte order mark and blanks, the text starts with #EXTM3U.
bool looksLikePlaylist(QByteArrayView head);

// Every address in the playlist (segment and variant lines, URI="…" of any
// tag) resolved against base, where the playlist finally came from, and
// replaced by what map makes of it. When map gives nothing the address goes:
// a line with the tags that belong to it alone, a tag with its URI.
// Lines end in LF; all else stays byte for byte. Empty when the result would
// pass limit bytes: a short address can come back many times its length.
QByteArray rewrite(QByteArrayView text, const QUrl &base,
    const std::function<QByteArray(const QUrl &)> &map, qsizetype limit);

// The codecs each variant of a multivariant playlist announces, in order;
// empty when none announces any.
QList<StreamCodecs> announcedCodecs(QByteArrayView text);

// The playlist for a player that gets the picture alone: no audio codecs in
// CODECS lists, no audio renditions.
QByteArray withoutAudioCodecs(QByteArrayView text);

} // namespace HlsPlaylist
