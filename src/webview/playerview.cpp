#include "playerview.h"

#include "silentpage.h"

#include <QContextMenuEvent>
#include <QWebEngineSettings>

PlayerView::PlayerView(QWidget *parent) : QWebEngineView(parent)
{
    m_page = new SilentPage(viewerProfile(), this);
    QWebEngineSettings *s = m_page->settings();
    // A channel starts playing, with sound, as soon as the user picks it.
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    setPage(m_page);
}

void PlayerView::Navigate(const QUrl &url)
{
    m_page->Navigate(url);
}

// Whatever page is loaded, the player offers no menu: the view answers every
// context-menu request itself, so each new channel page is covered at once.
void PlayerView::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
}

NoticeView::NoticeView(QWidget *parent) : QWebEngineView(parent)
{
    setPage(new SilentPage(viewerProfile(), this));
}

void NoticeView::Navigate(const QUrl &url)
{
    page()->load(url);
}
