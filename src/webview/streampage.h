#pragma once

#include "player/streamkind.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

class QWebEngineProfile;

// The player's own page for live streams (HLS, HTTP-FLV, MPEG-TS). It is
// shown with the stream relay's origin as its location and asks only that
// origin; its scripts (the page's own, hls.js and mpegts.js) are built into
// the program and served under lichuantv://player/.
namespace StreamPage {

inline const QByteArray Scheme = QByteArrayLiteral("lichuantv");

// What the page shows besides the stream itself.
struct Labels {
    // Why an Unsupported page ends at once (格式不支持 when empty).
    QString reason;
    // Which of the channel's rows plays ("线路 2/3"); none when empty.
    QString sourceLine;
    // Named in every report of the page, so one about an earlier page is
    // known as such.
    quint64 page = 0;
};

// The page's markup for a kind playing source (the relay's address for the
// stream), with the picture kept clear of the view's top coveredTop pixels.
QString html(StreamKind kind, const QUrl &source, int coveredTop = 0,
    const StreamTimings &timings = {}, const Labels &labels = {});

// Serves the page's scripts and style to the profile's pages.
void installResources(QWebEngineProfile *profile);
bool isInstalled(const QWebEngineProfile *profile);

} // namespace StreamPage
