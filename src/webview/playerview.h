#pragma once

#include <QWebEngineView>

class SilentPage;

// The player: a web view whose pages play with sound without a click, may go
// fullscreen, and never show a context menu (whatever page is loaded).
class PlayerView : public QWebEngineView
{
    Q_OBJECT
public:
    explicit PlayerView(QWidget *parent = nullptr);

    SilentPage *silentPage() const { return m_page; }

    // Starts loading url and returns at once.
    void Navigate(const QUrl &url);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    SilentPage *m_page;
};

// The notice view: a silent page with the engine's normal context menu.
class NoticeView : public QWebEngineView
{
    Q_OBJECT
public:
    explicit NoticeView(QWidget *parent = nullptr);
    void Navigate(const QUrl &url);
};
