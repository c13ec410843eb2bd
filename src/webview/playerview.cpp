#include "playerview.h"

#include "net/weburl.h"
#include "pagewatch.h"
#include "player/firstbytes.h"
#include "player/streamrelay.h"
#include "silentpage.h"
#include "streampage.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScreen>
#include <QTimer>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

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

namespace {
// Chromium's net::ERR_ABORTED.
constexpr int NetErrorAborted = -3;
} // namespace

PlayerView::PlayerView(QWidget *parent) : QWebEngineView(parent)
{
    m_page = new SilentPage(this);
    m_referer = new ChannelReferer(m_page);
    m_page->setUrlRequestInterceptor(m_referer);
    m_relay = new StreamRelay(this);
    // Upstream, the relay asks as the engine would.
    m_relay->setUserAgent(m_page->profile()->httpUserAgent().toUtf8());
    connect(m_relay, &StreamRelay::verdictReached, this, &PlayerView::onVerdict);
    QWebEngineSettings *s = m_page->settings();
    // A channel starts playing, with sound, as soon as the user picks it.
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    setPage(m_page);
    connect(m_page, &QWebEnginePage::fullScreenRequested, this, &PlayerView::onFullScreenRequested);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &PlayerView::onLoadingChanged);
    connect(m_page, &SilentPage::offeredAsDownload, this,
        [this](const QUrl &url, const QByteArray &mediaType) {
            // Only the channel's own answer; nothing once it is on screen.
            if (m_awaitingAnswer)
                react({ChannelAnswer::Event::OfferedAsDownload, url, mediaType});
        });

    m_watch = new PageWatch(m_page);
    connect(m_watch, &PageWatch::shown, this, &PlayerView::onShownAsText);
    connect(m_watch, &PageWatch::streamState, this, &PlayerView::onStreamState);
    connect(m_watch, &PageWatch::streamFailure, this, &PlayerView::onStreamFailure);
    m_firstBytes = new FirstBytes(this);
    connect(m_firstBytes, &FirstBytes::arrived, this, [this](const QByteArray &bytes) {
        ChannelAnswer answer = m_lookingAt;
        answer.body = bytes;
        answer.bodyFetched = true;
        react(answer);
    });
    m_firstPicture = new QTimer(this);
    m_firstPicture->setSingleShot(true);
    // A coarse timer may end a bound up to a twentieth early.
    m_firstPicture->setTimerType(Qt::PreciseTimer);
    connect(m_firstPicture, &QTimer::timeout, this, [this] {
        m_history.pastFirstPicture = true;
        if (!m_awaitingAnswer || !m_streamPage.isEmpty())
            return failedOnce(SourceFailure::Silence);
        // A page that is in but still loading has answered: silence is no
        // document of the channel's at all.
        const quint64 navigation = m_navigations;
        m_page->runJavaScript(QStringLiteral("location.href"), QWebEngineScript::ApplicationWorld,
            [this, navigation](const QVariant &href) {
                if (navigation != m_navigations || m_judged || !m_awaitingAnswer)
                    return;
                if (WebUrl::isWebAddress(m_page->url()) && QUrl(href.toString()) == m_page->url())
                    pageAnswered();
                else
                    failedOnce(SourceFailure::Silence);
            });
    });
}

void PlayerView::navigate(const QUrl &url, const RequestHeaders &headers, const QString &sourceLine)
{
    // The stream page stays on screen until the next page commits, which
    // can take long on a slow server; its stream ends now, so it says what
    // is being tried instead of reconnecting to it.
    if (!m_streamPage.isEmpty())
        tellStreamPage(QStringLiteral("leave"), sourceLine);
    m_relay->closeAll();
    m_streamToken.clear();
    m_headers = headers;
    m_sourceLine = sourceLine;
    m_firstBytes->cancel();
    m_lookingAt = {};
    m_streamPage.clear();
    m_history = {false, 0, false};
    m_judged = false;
    m_firstPicture->start(m_timings.firstPicture);
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
    case QWebEngineLoadingInfo::LoadSucceededStatus: {
        m_loading = false;
        m_page->setAudioMuted(false);
        // The stream page's own load is not awaited: showStream() ended the wait.
        if (!m_awaitingAnswer)
            return;
        // A page, or text that may be a stream after all.
        const quint64 navigation = m_navigations;
        const QUrl url = info.url();
        m_watch->lookNow([this, navigation, url](
                             const QByteArray &type, const QString &text, bool bare) {
            if (navigation == m_navigations && m_awaitingAnswer)
                react({bare ? ChannelAnswer::Event::ShownAsText : ChannelAnswer::Event::ShownAsPage,
                    url, type, text.toUtf8()});
        });
        return;
    }
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // Also how an answer the engine will only download ends: what is
        // still on screen is the channel being left, and stays unheard.
        m_loading = false;
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        m_loading = false;
        // An aborted load is one left for another, not a failure.
        if (m_awaitingAnswer && info.errorCode() != NetErrorAborted) {
            // The engine's request was the source's first try.
            ++m_history.failures;
            react({ChannelAnswer::Event::LoadFailed, info.url(), {}});
            if (!m_awaitingAnswer)
                return;
            // A page that did not load: the engine's error page (or the
            // server's) stays, and the source has failed.
            m_awaitingAnswer = false;
            judge();
        }
        // The engine's error page is silent; the next channel is heard again.
        m_page->setAudioMuted(false);
        return;
    }
}

void PlayerView::react(const ChannelAnswer &answer)
{
    const PlayerReaction reaction = StreamKinds::reactionTo(answer);
    switch (reaction.step) {
    case PlayerReaction::Step::KeepPage:
        if (answer.event == ChannelAnswer::Event::ShownAsPage
            || answer.event == ChannelAnswer::Event::ShownAsText)
            pageAnswered();
        return;
    case PlayerReaction::Step::ShowStream:
        return showStream(reaction.kind, answer.url);
    case PlayerReaction::Step::LookAtBody:
        return lookAtBody(answer);
    }
}

// Text still coming in (an endless stream shown as text never ends): only a
// stream is acted on now; how the load ends decides the rest.
void PlayerView::onShownAsText(const QUrl &url, const QByteArray &mediaType, const QString &text)
{
    if (!m_awaitingAnswer || url != m_page->url())
        return;
    const ChannelAnswer answer {ChannelAnswer::Event::ShownAsText, url, mediaType, text.toUtf8()};
    if (StreamKinds::reactionTo(answer).step != PlayerReaction::Step::KeepPage)
        react(answer);
}

void PlayerView::lookAtBody(const ChannelAnswer &answer)
{
    if (!m_lookingAt.url.isEmpty())
        return;
    m_lookingAt = answer;
    // An endless stream read as text keeps the renderer busy meanwhile.
    if (m_loading)
        m_page->triggerAction(QWebEnginePage::Stop);
    m_firstBytes->fetch(answer.url, m_headers, m_page->profile()->httpUserAgent().toUtf8());
}

void PlayerView::pageAnswered()
{
    m_awaitingAnswer = false;
    m_firstPicture->stop();
    emit sourcePlaying();
}

bool PlayerView::isStreamPage(const QUrl &url, quint64 page) const
{
    return !m_streamPage.isEmpty() && page == m_streamPageId && url == m_streamPage;
}

void PlayerView::onStreamState(const QUrl &url, quint64 page, const QString &state)
{
    if (!isStreamPage(url, page))
        return;
    if (state == QLatin1String("playing")) {
        // Heard from its picture on, however the engine reported its load
        // (stopping an endless text load can make that a stop).
        m_page->setAudioMuted(false);
        m_history.played = true;
        m_firstPicture->stop();
        emit sourcePlaying();
    } else if (state == QLatin1String("reconnecting")) {
        emit sourceDropped();
    } else if (state == QLatin1String("ended")) {
        judge();
    }
}

void PlayerView::onStreamFailure(const QUrl &url, quint64 page, const QString &what)
{
    if (isStreamPage(url, page))
        failedOnce(SourceFailures::fromPage(what));
}

void PlayerView::failedOnce(SourceFailure failure)
{
    ++m_history.failures;
    if (SourceFailures::step(failure, m_history) == SourceStep::Judge)
        judge();
}

void PlayerView::judge()
{
    if (m_judged)
        return;
    m_judged = true;
    m_firstPicture->stop();
    m_firstBytes->cancel();
    if (!m_streamPage.isEmpty()) {
        tellStreamPage(QStringLiteral("judge"), {});
    } else if (m_awaitingAnswer && StreamKinds::fromAddress(m_page->url()) != StreamKind::None) {
        // A stream address that never answered says so; a page keeps loading.
        showStreamPage(StreamKind::Unsupported, QUrl(QStringLiteral("lichuantv://player/")), QUrl(),
            QStringLiteral("无法连接"));
    }
    emit sourceFailed();
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

void PlayerView::onVerdict(const QByteArray &token, const StreamVerdict &verdict)
{
    if (token != m_streamToken)
        return;
    tellStreamPage(verdict.action == StreamVerdict::Action::Refuse ? QStringLiteral("refuse")
                                                                   : QStringLiteral("nosound"),
        verdict.message);
}

void PlayerView::tellStreamPage(const QString &action, const QString &message)
{
    // As data, never as script text.
    const QString args = QString::fromUtf8(
        QJsonDocument(QJsonArray {action, message}).toJson(QJsonDocument::Compact));
    m_page->runJavaScript(
        QStringLiteral("window.lichuanVerdict && lichuanVerdict(...%1)").arg(args));
}

void PlayerView::showRefusal(const QString &reason)
{
    m_relay->closeAll();
    m_streamToken.clear();
    m_firstBytes->cancel();
    m_firstPicture->stop();
    m_sourceLine.clear();
    m_judged = false;
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
    m_streamPage = location;
    m_streamPageId = m_navigations;
    // The window may hide the view's top under its frame (channel pages keep
    // a banner there); the stream's picture stays in the part on screen.
    const int coveredTop = parentWidget() && !m_fullScreen ? -y() : 0;
    m_page->setHtml(StreamPage::html(
                        kind, source, coveredTop, m_timings, {reason, m_sourceLine, m_navigations}),
        location);
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
