#pragma once

#include <QPointer>
#include <QWebEngineView>

class SilentPage;
class QAction;
class QWebEngineFullScreenRequest;

// The player: its pages play with sound without a click, may go fullscreen,
// and never show a context menu.
class PlayerView : public QWebEngineView {
    Q_OBJECT
public:
    explicit PlayerView(QWidget *parent = nullptr);

    SilentPage *silentPage() const { return m_page; }
    bool isFullScreen() const { return m_fullScreen; }

    // Starts loading url and returns at once. The page being left is
    // silenced at once, not when the new one arrives.
    void navigate(const QUrl &url);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

signals:
    // Page Up (-1) or Page Down (+1) pressed while the player is fullscreen.
    void channelStepRequested(int step);
    void fullScreenChanged(bool on);

private:
    void onFullScreenRequested(QWebEngineFullScreenRequest request);
    void enterFullScreen();
    void leaveFullScreen();

    SilentPage *m_page;
    // Between a load's start and its end; a fragment-only step meanwhile is
    // not a step within the page being heard.
    bool m_loading = false;
    bool m_fullScreen = false;
    // Where the view goes back to when it leaves fullscreen.
    QPointer<QWidget> m_homeParent;
    QPointer<QWidget> m_focusBefore;
    QRect m_homeGeometry;
    QList<QAction *> m_fullScreenKeys;
};
