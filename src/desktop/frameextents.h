#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QWindow;

// Asks the window manager, before a window is first shown, for the frame it
// will draw around it (_NET_REQUEST_FRAME_EXTENTS), so that the window can
// be placed by its outer rectangle from its first showing: a window manager
// may keep a window that does not fit the screen where it was first mapped
// and answer a later move by putting it back. Says when the answer is in;
// the window's frameMargins() are then the ones it will get.
class FrameExtentsRequest : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit FrameExtentsRequest(QWindow *window);
    ~FrameExtentsRequest() override;

    // False where there is no X11 window manager to ask.
    bool send();

signals:
    void answered();

protected:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    QWindow *m_window;
    quint32 m_extents = 0;
};
