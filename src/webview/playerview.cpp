#include "playerview.h"

#include "net/weburl.h"
#include "silentpage.h"
#include "streampage.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QScreen>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

PlayerView::PlayerView(QWidget *parent) : QWebEngineView(parent)
{
    m_page = new SilentPage(viewerProfile(), this);
    QWebEngineSettings *s = m_page->settings();
    // A channel starts playing, with sound, as soon as the user picks it.
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    setPage(m_page);
    connect(m_page, &QWebEnginePage::fullScreenRequested, this, &PlayerView::onFullScreenRequested);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &PlayerView::onLoadingChanged);
    StreamPage::installResources(m_page->profile());
    connect(m_page->profile(), &QWebEngineProfile::downloadRequested, this,
        &PlayerView::onDownloadRequested);
}

void PlayerView::navigate(const QUrl &url)
{
    // The old page keeps playing until the new one commits, which can take
    // long on a slow site; mute it now, the new page is heard once loaded.
    // A step to another #fragment of the page already shown stays in that
    // page and reports no load at all, so it must not be muted.
    const QUrl current = m_page->url();
    const bool samePage = !m_loading && url.hasFragment() && !current.isEmpty()
        && url.adjusted(QUrl::RemoveFragment) == current.adjusted(QUrl::RemoveFragment);
    if (!samePage)
        m_page->setAudioMuted(true);
    m_awaitingAnswer = true;
    m_streamKind = StreamKind::None;
    ++m_navigations;
    m_page->load(url);
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
        if (m_awaitingAnswer && StreamKinds::fromAddress(info.url()) == StreamKind::Hls)
            checkForPlaylistAsText(info.url());
        m_awaitingAnswer = false;
        m_page->setAudioMuted(false);
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // Also how an answer the engine will only download ends: what is
        // still on screen is the channel being left, and stays unheard.
        m_loading = false;
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
        m_loading = false;
        // A stream address that did not answer: the stream page keeps
        // trying, says so, and gives up in the end.
        const StreamKind byAddress = StreamKinds::fromAddress(info.url());
        if (m_awaitingAnswer && byAddress != StreamKind::None)
            return showStream(byAddress, info.url());
        // The engine's error page is silent; the next channel is heard again.
        m_page->setAudioMuted(false);
        return;
    }
    }
}

// Many servers send HLS playlists as text/plain, which the engine shows as
// text rather than offering to download: a playlist address that came back
// as a plain-text playlist is a stream after all.
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

// An answer the engine would only save to disk. Downloads are refused for
// every page (the profile cancels them); one that answers the channel being
// opened is a stream to play, or a clear "cannot play" if it is none.
void PlayerView::onDownloadRequested(QWebEngineDownloadRequest *download)
{
    if (download->page() != m_page || !m_awaitingAnswer)
        return;
    showStream(
        StreamKinds::fromAnswer(download->mimeType().toUtf8(), download->url()), download->url());
}

// The stream page takes the stream's address as its own location: the
// stream is then fetched from its own origin, so servers without CORS
// headers play, and the page reads the address as data.
void PlayerView::showStream(StreamKind kind, const QUrl &url)
{
    if (!WebUrl::isWebAddress(url))
        return;
    m_awaitingAnswer = false;
    m_streamKind = kind;
    m_page->setAudioMuted(true);
    // The window may hide the view's top under its frame (channel pages keep
    // a banner there); the stream's picture stays in the part on screen.
    const int coveredTop = parentWidget() && !m_fullScreen ? -y() : 0;
    m_page->setHtml(StreamPage::html(kind, coveredTop), url);
}

// The answer to every context-menu request of the view: no menu. Being the
// view's own, it covers each new page from its first moment.
void PlayerView::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
}

void PlayerView::onFullScreenRequested(QWebEngineFullScreenRequest request)
{
    if (request.toggleOn() == m_fullScreen)
        return request.reject();
    request.accept();
    request.toggleOn() ? enterFullScreen() : leaveFullScreen();
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
    key(Qt::Key_Escape, [this] { triggerPageAction(QWebEnginePage::ExitFullScreen); });
    key(Qt::Key_PageUp, [this] { emit channelStepRequested(-1); });
    key(Qt::Key_PageDown, [this] { emit channelStepRequested(+1); });

    m_fullScreen = true;
    showFullScreen();
    activateWindow();
    setFocus();
}

void PlayerView::leaveFullScreen()
{
    qDeleteAll(m_fullScreenKeys);
    m_fullScreenKeys.clear();
    m_fullScreen = false;
    setParent(m_homeParent, Qt::Widget);
    setGeometry(m_homeGeometry);
    if (m_focusBefore)
        QWidget::setTabOrder(m_focusBefore, this);
    show();
    if (m_homeParent)
        m_homeParent->window()->activateWindow();
}
