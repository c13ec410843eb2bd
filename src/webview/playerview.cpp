#include "playerview.h"

#include "silentpage.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QScreen>
#include <QWebEngineFullScreenRequest>
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
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { m_loading = true; });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this] {
        m_loading = false;
        m_page->setAudioMuted(false);
    });
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
    m_page->load(url);
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
