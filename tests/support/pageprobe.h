#pragma once

// Questions put to a page's script. They wait in a real event loop: the
// engine's UI-side work runs on this thread, and QTest's sleeping waits
// starve its media players.

#include <QDeadlineTimer>
#include <QDebug>
#include <QEventLoop>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>

namespace PageProbe {

// Lets the event loop run for ms.
inline void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The script's value, or an invalid one when the page did not answer in time.
inline QVariant run(QWebEnginePage *page, const QString &script, int timeoutMs = 10000)
{
    QVariant result;
    bool done = false;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    page->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    return result;
}

// Seconds the channel's video has played; -1 while it is paused, -2 when the
// page has none.
inline double videoTime(QWebEnginePage *page)
{
    const QVariant t = run(page,
        QStringLiteral("(function(){var v=document.getElementById('tv');"
                       "return v ? (v.paused ? -1 : v.currentTime) : -2;})()"));
    return t.isValid() ? t.toDouble() : -2;
}

// Frames the channel's video has put on screen so far (decoded and not
// dropped); -1 when the page has no video.
inline int framesPresented(QWebEnginePage *page)
{
    const QVariant n = run(page,
        QStringLiteral("(function(){var v=document.getElementById('tv');if(!v)return -1;"
                       "var q=v.getVideoPlaybackQuality();"
                       "return q.totalVideoFrames-q.droppedVideoFrames;})()"));
    return n.isValid() ? n.toInt() : -1;
}

// Waits until the channel's video is playing and has played minSeconds.
inline bool waitPlaying(QWebEnginePage *page, double minSeconds = 0.3, int timeoutMs = 20000)
{
    const QString state = QStringLiteral("(function(){var v=document.getElementById('tv');"
                                         "return v?[v.paused,v.currentTime,v.muted,v.readyState,"
                                         "v.error?v.error.message||v.error.code:'']:null;})()");
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (videoTime(page) > minSeconds)
            return true;
        settle(200);
    }
    // What the video was doing, for the failure's log.
    qWarning() << "video (paused time muted readyState error):"
               << run(page, state).toStringList().join(QLatin1Char(' '));
    return false;
}

} // namespace PageProbe
