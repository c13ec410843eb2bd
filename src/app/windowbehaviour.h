#pragma once

#include "desktop/trayprobe.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QSystemTrayIcon>

#include <functional>

class FrameExtentsRequest;
class QAction;
class QMainWindow;
class QWindow;

// What the desktop offers for the tray icon.
struct TrayProbe {
    // Whether there is a notification area at all.
    std::function<bool()> available = &QSystemTrayIcon::isSystemTrayAvailable;
    // Whether the icon becomes a StatusNotifierItem on D-Bus, where hosts
    // report a left click as Trigger and never a double-click. Asked once,
    // right after the icon is made, when Qt has chosen.
    std::function<bool()> onStatusNotifier = &statusNotifierHostRegistered;
};

// Where a window's outer rectangle (frame and title bar included) of size
// outer goes at start-up: centred on the whole screen, then moved into the
// available area (screen less task bars) when it fits there; when it does
// not, its top and left edges go to the available area's, so the title bar
// with its buttons stays on screen.
QPoint centredPosition(const QRect &screen, const QRect &available, const QSize &outer);

// How the main window behaves as a window: a fixed client size, hiding in the
// notification area when minimised, staying on top on request, and asking
// before it closes.
class WindowBehaviour : public QObject {
    Q_OBJECT
public:
    static constexpr QSize ClientSize {433, 480};

    // staysOnTopAction is the menu command that toggles staying on top; its
    // caption names what it will do.
    WindowBehaviour(QMainWindow *window, QAction *staysOnTopAction, TrayProbe tray = {});

    // Sets the window's outer size from the client size and the menu bar.
    void applyFixedSize();
    // From the window's resizeEvent.
    void resized();
    // From the window's changeEvent on a WindowStateChange.
    void windowStateChanged();
    void toggleStaysOnTop();

    // Places the window by centredPosition(); again on the first showing if
    // the frame was not yet known.
    void centreOnScreen();

    bool staysOnTop() const;
    void restoreFromTray();
    // Brings the window forward from wherever it is: the tray, the taskbar
    // or behind other windows.
    void bringToFront();

signals:
    // The window came on the screen (shown, not minimised) or left it.
    void onScreenChanged(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Normal state, shown, raised and active.
    void showInFront();
    void claimActivation();
    void minimiseToTray();
    void setStaysOnTop(bool on);
    void syncTopmost();
    void shownByProgram();
    void exposed();
    void checkOnScreen();
    void askForFrame();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

    QMainWindow *m_window;
    QAction *m_staysOnTopAction;
    QSystemTrayIcon *m_tray = nullptr;
    QSize m_fixedSize;
    QPointer<QWindow> m_watchedHandle;
    QPointer<FrameExtentsRequest> m_frameRequest;
    bool m_inTray = false;
    bool m_onScreen = false;
    bool m_trayOnBus = false;
    bool m_topmostPending = false;
    bool m_recentre = false;
    // Shown in front, not yet made the active window once on screen.
    bool m_activating = false;
    TrayProbe m_trayProbe;
};
