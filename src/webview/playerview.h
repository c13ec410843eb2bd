#pragma once

#include "net/channeladdress.h"
#include "player/streamkind.h"

#include <QPointer>
#include <QWebEngineView>

class ChannelReferer;
class SilentPage;
class StreamRelay;
struct StreamVerdict;
class QAction;
class QWebEngineFullScreenRequest;
class QWebEngineLoadingInfo;

// The player: its pages play with sound without a click, may go fullscreen,
// and never show a context menu. A channel whose answer is a live stream the
// engine cannot show (HLS, HTTP-FLV, MPEG-TS), or a datagram stream, plays
// in the player's own stream page instead, fed by the stream relay.
class PlayerView : public QWebEngineView {
    Q_OBJECT
public:
    explicit PlayerView(QWidget *parent = nullptr);

    // The stream page's bounds; for the streams shown from now on.
    void setStreamTimings(const StreamTimings &timings) { m_timings = timings; }

    // Starts loading url, asking with the channel's own request headers,
    // and returns at once. The page being left is silenced at once, not when
    // the new one arrives, and the stream being left ends at once.
    void navigate(const QUrl &url, const RequestHeaders &headers = {});
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
    // The stream page on screen has ended: it says 无法播放此频道.
    void streamEnded();

private:
    void onFullScreenRequested(QWebEngineFullScreenRequest request);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void watchForStreamEnd();
    void onTitleChanged(const QString &title);
    void react(const ChannelAnswer &answer);
    void checkForPlaylistAsText(const QUrl &url);
    void showStream(StreamKind kind, const QUrl &url);
    void showStreamPage(
        StreamKind kind, const QUrl &location, const QUrl &source, const QString &reason);
    void tellStreamPage(const QByteArray &token, const StreamVerdict &verdict);
    void enterFullScreen();
    void leaveFullScreen();

    SilentPage *m_page;
    StreamRelay *m_relay;
    ChannelReferer *m_referer;
    // The channel's own request headers, for its stream as well.
    RequestHeaders m_headers;
    // The relay's token for the stream on screen.
    QByteArray m_streamToken;
    // Where the stream page on screen was shown; empty once another channel
    // is asked for.
    QUrl m_streamPage;
    StreamTimings m_timings;
    // Between a load's start and its end; a fragment-only step meanwhile is
    // not a step within the page being heard.
    bool m_loading = false;
    // From navigate() until the channel's answer is on screen: an answer the
    // engine turns into a download is the channel's, nothing later is.
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
