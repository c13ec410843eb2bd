#pragma once

#include "net/channeladdress.h"
#include "player/sourceverdict.h"
#include "player/streamkind.h"

#include <QPointer>
#include <QWebEngineView>

class ChannelReferer;
class FirstBytes;
class PageWatch;
class SilentPage;
class StreamRelay;
struct StreamVerdict;
class QAction;
class QTimer;
class QWebEngineFullScreenRequest;
class QWebEngineLoadingInfo;

// The player: its pages play with sound without a click, may go fullscreen,
// and never show a context menu. A channel whose answer is a live stream the
// engine cannot show (HLS, HTTP-FLV, MPEG-TS), or a datagram stream, plays
// in the player's own stream page instead, fed by the stream relay. It says
// how the source it was sent to fares: playing, dropped, or failed (judged
// by SourceFailures::step, or for want of a first picture in time).
class PlayerView : public QWebEngineView {
    Q_OBJECT
public:
    explicit PlayerView(QWidget *parent = nullptr);

    // The stream page's bounds; for the streams shown from now on.
    void setStreamTimings(const StreamTimings &timings) { m_timings = timings; }

    // Starts loading url, asking with the channel's own request headers,
    // and returns at once. The page being left is silenced at once, not when
    // the new one arrives, and the stream being left ends at once. The
    // stream page names sourceLine, which of the channel's rows this is.
    void navigate(
        const QUrl &url, const RequestHeaders &headers = {}, const QString &sourceLine = {});
    // Leaves the channel being shown and says it cannot be played, for
    // reason; loads nothing from the network.
    void showRefusal(const QString &reason);
    // Asks for the previous (-1) or next (+1) channel, as Page Up and Down
    // do: from fullscreen, the player stays on the whole screen.
    void stepChannel(int direction);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

signals:
    // Page Up (-1) or Page Down (+1) pressed while the player is fullscreen,
    // or stepChannel(); it stays fullscreen.
    void channelStepRequested(int step);
    void fullScreenChanged(bool on);
    // The channel is a stream of kind, now in the player's own stream page.
    void streamShown(StreamKind kind);
    // The source asked for last: a page that loaded or a stream that plays;
    // a stream that played and is reconnecting; one that has failed, after
    // which it is asked for nothing more.
    void sourcePlaying();
    void sourceDropped();
    void sourceFailed();

private:
    void onFullScreenRequested(QWebEngineFullScreenRequest request);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void react(const ChannelAnswer &answer);
    void lookAtBody(const ChannelAnswer &answer);
    void onShownAsText(const QUrl &url, const QByteArray &mediaType, const QString &text);
    void showStream(StreamKind kind, const QUrl &url);
    void showStreamPage(
        StreamKind kind, const QUrl &location, const QUrl &source, const QString &reason);
    void onVerdict(const QByteArray &token, const StreamVerdict &verdict);
    // Calls the stream page's lichuanVerdict(action, message).
    void tellStreamPage(const QString &action, const QString &message);
    // Whether a report of the stream page at url, shown for navigation
    // page, is about the one on screen now.
    bool isStreamPage(const QUrl &url, quint64 page) const;
    void onStreamState(const QUrl &url, quint64 page, const QString &state);
    void onStreamFailure(const QUrl &url, quint64 page, const QString &what);
    void failedOnce(SourceFailure failure);
    // A page (not a stream) is the channel's answer.
    void pageAnswered();
    // The source has failed: the page says so where it can, the guide hears of it.
    void judge();
    void enterFullScreen();
    void leaveFullScreen();

    SilentPage *m_page;
    StreamRelay *m_relay;
    ChannelReferer *m_referer;
    PageWatch *m_watch;
    FirstBytes *m_firstBytes;
    // The answer waiting for its first bytes.
    ChannelAnswer m_lookingAt {};
    // Runs from the request to the source's first picture.
    QTimer *m_firstPicture;
    QString m_sourceLine;
    // The source since it was asked for.
    SourceHistory m_history {false, 0, false};
    bool m_judged = false;
    // Where the stream page on screen lives, and the navigation it belongs to.
    QUrl m_streamPage;
    quint64 m_streamPageId = 0;
    // The channel's own request headers, for its stream as well.
    RequestHeaders m_headers;
    // The relay's token for the stream on screen.
    QByteArray m_streamToken;
    StreamTimings m_timings;
    // Between a load's start and its end; a fragment-only step meanwhile is
    // not a step within the page being heard.
    bool m_loading = false;
    // From navigate() until the channel's answer is on screen: an answer the
    // engine turns into a download, or text it shows, is the channel's;
    // nothing later is.
    bool m_awaitingAnswer = false;
    // Counts navigate() calls, so a late answer about an earlier channel is
    // not acted on.
    quint64 m_navigations = 0;
    // The view on the whole screen, and the page's own fullscreen within it;
    // a step to another channel ends the latter only.
    bool m_fullScreen = false;
    bool m_pageFullScreen = false;
    bool m_steppedInFullScreen = false;
    // Where the view goes back to when it leaves fullscreen.
    QPointer<QWidget> m_homeParent;
    QPointer<QWidget> m_focusBefore;
    QRect m_homeGeometry;
    QList<QAction *> m_fullScreenKeys;
};
