#include "playerview.h"

#include "net/weburl.h"
#include "player/streamrelay.h"
#include "silentpage.h"
#include "streampage.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScreen>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

namespace {
const QString EndedTitle = QStringLiteral("无法播放此频道");
} // namespace

// The engine leaves a Referer given with the request out; a channel that
// wants one gets it on its main request here.
class ChannelReferer : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void set(const QUrl &url, const QByteArray &referer)
    {
        m_url = url;
        m_referer = referer;
    }
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (!m_referer.isEmpty()
            && info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame
            && info.requestUrl() == m_url)
            info.setHttpHeader("Referer", m_referer);
    }

private:
    QUrl m_url;
    QByteArray m_referer;
};

PlayerView::PlayerView(QWidget *parent) : QWebEngineView(parent)
{
    m_page = new SilentPage(this);
    m_referer = new ChannelReferer(m_page);
    m_page->setUrlRequestInterceptor(m_referer);
    m_relay = new StreamRelay(this);
    // Upstream, the relay asks as the engine would.
    m_relay->setUserAgent(m_page->profile()->httpUserAgent().toUtf8());
    connect(m_relay, &StreamRelay::verdictReached, this, &PlayerView::tellStreamPage);
    QWebEngineSettings *s = m_page->settings();
    // A channel starts playing, with sound, as soon as the user picks it.
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    setPage(m_page);
    connect(m_page, &QWebEnginePage::fullScreenRequested, this, &PlayerView::onFullScreenRequested);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &PlayerView::onLoadingChanged);
    watchForStreamEnd();
    connect(m_page, &SilentPage::offeredAsDownload, this,
        [this](const QUrl &url, const QByteArray &mediaType) {
            // Only the channel's own answer; nothing once it is on screen.
            if (m_awaitingAnswer)
                react({ChannelAnswer::Event::OfferedAsDownload, url, mediaType});
        });
}

// The stream page's end is told through its title: the one word of a page
// that reaches the view without a channel of its own.
void PlayerView::watchForStreamEnd()
{
    QWebEngineScript endWatch;
    endWatch.setName(QStringLiteral("lichuan-stream-end"));
    endWatch.setInjectionPoint(QWebEngineScript::DocumentReady);
    endWatch.setWorldId(QWebEngineScript::ApplicationWorld);
    endWatch.setRunsOnSubFrames(false);
    endWatch.setSourceCode(QStringLiteral(
        "(function () {"
        "  var root = document.documentElement;"
        "  if (root.dataset.kind === undefined) return;"
        "  function check() { if (root.dataset.state === 'ended') document.title = '%1'; }"
        "  new MutationObserver(check).observe(root, {attributeFilter: ['data-state']});"
        "  check();"
        "})();")
                               .arg(EndedTitle));
    m_page->scripts().insert(endWatch);
    connect(m_page, &QWebEnginePage::titleChanged, this, &PlayerView::onTitleChanged);
}

void PlayerView::navigate(const QUrl &url, const RequestHeaders &headers)
{
    m_relay->closeAll();
    m_streamToken.clear();
    m_streamPage.clear();
    m_headers = headers;
    // The old page keeps playing until the new one commits, which can take
    // long on a slow site; mute it now, the new page is heard once loaded.
    // A step to another #fragment of the page already shown stays in that
    // page and reports no load at all, so it must not be muted.
    const QUrl current = m_page->url();
    const bool samePage = !m_loading && url.hasFragment() && !current.isEmpty()
        && url.adjusted(QUrl::RemoveFragment) == current.adjusted(QUrl::RemoveFragment);
    if (!samePage)
        m_page->setAudioMuted(true);
    ++m_navigations;
    if (WebUrl::isDatagramAddress(url))
        return showStream(StreamKind::MpegTs, url);
    m_awaitingAnswer = true;
    QWebEngineHttpRequest request(url);
    QByteArray referer;
    for (const auto &[name, value] : headers) {
        if (name.compare("Referer", Qt::CaseInsensitive) == 0)
            referer = value;
        else
            request.setHeader(name, value);
    }
    m_referer->set(url, referer);
    m_page->load(request);
}

void PlayerView::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        m_loading = true;
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        m_loading = false;
        // The stream page's own load is not awaited: showStream() ended the wait.
        if (m_awaitingAnswer)
            react({ChannelAnswer::Event::LoadSucceeded, info.url(), {}});
        m_awaitingAnswer = false;
        m_page->setAudioMuted(false);
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // Also how an answer the engine will only download ends: what is
        // still on screen is the channel being left, and stays unheard.
        m_loading = false;
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        m_loading = false;
        if (m_awaitingAnswer) {
            react({ChannelAnswer::Event::LoadFailed, info.url(), {}});
            if (!m_awaitingAnswer)
                return;
        }
        // The engine's error page is silent; the next channel is heard again.
        m_page->setAudioMuted(false);
        return;
    }
}

void PlayerView::onTitleChanged(const QString &title)
{
    // A channel's own page may call itself anything; only the stream page
    // shown last, still on screen, is heard.
    if (title == EndedTitle && !m_streamPage.isEmpty() && m_page->url() == m_streamPage) {
        m_streamPage.clear();
        emit streamEnded();
    }
}

void PlayerView::react(const ChannelAnswer &answer)
{
    const PlayerReaction reaction = StreamKinds::reactionTo(answer);
    switch (reaction.step) {
    case PlayerReaction::Step::KeepPage:
        return;
    case PlayerReaction::Step::ShowStream:
        return showStream(reaction.kind, answer.url);
    case PlayerReaction::Step::LookForPlaylistText:
        return checkForPlaylistAsText(answer.url);
    }
}

// A playlist address that came back as a plain-text playlist is a stream
// after all.
void PlayerView::checkForPlaylistAsText(const QUrl &url)
{
    const quint64 navigation = m_navigations;
    m_page->runJavaScript(
        QStringLiteral("document.contentType === 'text/plain' && !!document.body"
                       " && document.body.innerText.trimStart().startsWith('#EXTM3U')"),
        QWebEngineScript::ApplicationWorld, [this, navigation, url](const QVariant &isPlaylist) {
            if (navigation == m_navigations && isPlaylist.toBool())
                showStream(StreamKind::Hls, url);
        });
}

// The stream page takes the relay's origin as its location and asks it for
// everything: no request of the page is cross-origin.
void PlayerView::showStream(StreamKind kind, const QUrl &url)
{
    const StreamRelay::Stream stream = m_relay->open(url, m_headers);
    m_streamToken = stream.token;
    if (stream.token.isEmpty())
        showStreamPage(StreamKind::Unsupported, QUrl(QStringLiteral("lichuantv://player/")), QUrl(),
            QStringLiteral("无法连接"));
    else
        showStreamPage(kind, stream.pageBase, stream.entry, QString());
    emit streamShown(kind);
}

void PlayerView::tellStreamPage(const QByteArray &token, const StreamVerdict &verdict)
{
    if (token != m_streamToken)
        return;
    const QString action = verdict.action == StreamVerdict::Action::Refuse
        ? QStringLiteral("refuse")
        : QStringLiteral("nosound");
    const QString args = QString::fromUtf8(
        QJsonDocument(QJsonArray {action, verdict.message}).toJson(QJsonDocument::Compact));
    m_page->runJavaScript(
        QStringLiteral("window.lichuanVerdict && lichuanVerdict(...%1)").arg(args));
}

void PlayerView::showRefusal(const QString &reason)
{
    m_relay->closeAll();
    m_streamToken.clear();
    ++m_navigations;
    // The page's own scheme as its location: nothing of the refused address
    // is ever loaded.
    showStreamPage(
        StreamKind::Unsupported, QUrl(QStringLiteral("lichuantv://player/")), QUrl(), reason);
}

void PlayerView::showStreamPage(
    StreamKind kind, const QUrl &location, const QUrl &source, const QString &reason)
{
    m_awaitingAnswer = false;
    m_page->setAudioMuted(true);
    // The window may hide the view's top under its frame (channel pages keep
    // a banner there); the stream's picture stays in the part on screen.
    const int coveredTop = parentWidget() && !m_fullScreen ? -y() : 0;
    m_streamPage = location;
    m_page->setHtml(StreamPage::html(kind, source, coveredTop, m_timings, reason), location);
}

// The answer to every context-menu request of the view: no menu. Being the
// view's own, it covers each new page from its first moment.
void PlayerView::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
}

void PlayerView::onFullScreenRequested(QWebEngineFullScreenRequest request)
{
    if (request.toggleOn() == m_pageFullScreen)
        return request.reject();
    request.accept();
    m_pageFullScreen = request.toggleOn();
    if (m_pageFullScreen == m_fullScreen)
        return;
    // A channel stepped to from fullscreen ends the page's fullscreen as it
    // replaces the page; the view stays on the whole screen.
    if (!m_pageFullScreen && m_steppedInFullScreen) {
        m_steppedInFullScreen = false;
        return;
    }
    m_pageFullScreen ? enterFullScreen() : leaveFullScreen();
    emit fullScreenChanged(m_fullScreen);
}

// The view itself becomes the fullscreen window, so the page never changes
// hands and the main window is left exactly as it is.
void PlayerView::enterFullScreen()
{
    m_homeParent = parentWidget();
    m_homeGeometry = geometry();
    m_focusBefore = previousInFocusChain();
    const QRect screen = window()->screen() ? window()->screen()->geometry() : QRect();
    const QString title = window()->windowTitle();
    const QIcon icon = window()->windowIcon();
    setParent(nullptr, Qt::Window);
    setWindowTitle(title);
    setWindowIcon(icon);
    if (screen.isValid())
        setGeometry(screen);

    auto key = [this](QKeySequence seq, auto handler) {
        auto *a = new QAction(this);
        a->setShortcut(seq);
        connect(a, &QAction::triggered, this, handler);
        addAction(a);
        m_fullScreenKeys.append(a);
    };
    key(Qt::Key_Escape, [this] {
        if (m_pageFullScreen)
            return triggerPageAction(QWebEnginePage::ExitFullScreen);
        // After a step the page is not fullscreen itself: only the view is.
        leaveFullScreen();
        emit fullScreenChanged(false);
    });
    key(Qt::Key_PageUp, [this] { stepChannel(-1); });
    key(Qt::Key_PageDown, [this] { stepChannel(+1); });

    m_fullScreen = true;
    showFullScreen();
    activateWindow();
    setFocus();
}

void PlayerView::stepChannel(int direction)
{
    // On the whole screen, the next channel shows there too.
    m_steppedInFullScreen = m_pageFullScreen;
    emit channelStepRequested(direction);
}

void PlayerView::leaveFullScreen()
{
    m_steppedInFullScreen = false;
    qDeleteAll(m_fullScreenKeys);
    m_fullScreenKeys.clear();
    m_fullScreen = false;
    setParent(m_homeParent, Qt::Widget);
    // Back in the window, the view is no fullscreen window any more.
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    setGeometry(m_homeGeometry);
    if (m_focusBefore)
        QWidget::setTabOrder(m_focusBefore, this);
    show();
    // A stream page shown while on the whole screen kept its picture at the
    // top; back in the window that top is under the frame.
    m_page->runJavaScript(
        QStringLiteral("document.documentElement.dataset.kind !== undefined && "
                       "document.documentElement.style.setProperty('--covered', '%1px')")
            .arg(qMax(0, -y())));
    if (!m_homeParent)
        return;
    QWidget *home = m_homeParent->window();
    home->activateWindow();
    // The view was the active window until now, so reparenting it left
    // Qt's widgets with none, while the window system may already have
    // handed the window the keyboard and will not say so again: keys would
    // go nowhere.
    if (QGuiApplication::focusWindow() == home->windowHandle()
        && QApplication::activeWindow() != home)
        QApplication::setActiveWindow(home);
}
