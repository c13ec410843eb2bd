#pragma once

#include <QObject>
#include <QSize>
#include <QSystemTrayIcon>

#include <functional>

class QAction;
class QMainWindow;

// How the main window behaves as a window: a fixed client size, hiding in the
// notification area when minimised, staying on top on request, and asking
// before it closes.
class WindowBehaviour : public QObject {
    Q_OBJECT
public:
    static constexpr QSize ClientSize {433, 480};

    // topmostAction is the menu command whose caption tells the state.
    WindowBehaviour(QMainWindow *window, QAction *topmostAction);

    // Sets the window's outer size from the client size and the menu bar.
    void applyFixedSize();
    // From the window's resizeEvent.
    void resized();
    // From the window's changeEvent on a WindowStateChange.
    void windowStateChanged();
    // Toggles staying on top, following the command's caption.
    void M_ckzd_Click();
    // Asks whether to quit; true when the user confirmed.
    bool Form_QueryUnload();

    bool isTopmost() const;
    bool isInTray() const { return m_inTray; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    void restoreFromTray();

    // Whether a notification area exists; tests replace the system's answer.
    void setTrayAvailability(std::function<bool()> available)
    {
        m_trayAvailable = std::move(available);
    }

private:
    void minimiseToTray();
    void setTopmost(bool on);
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

    QMainWindow *m_window;
    QAction *m_topmostAction;
    QSystemTrayIcon *m_tray = nullptr;
    QSize m_fixedSize;
    bool m_inTray = false;
    bool m_asking = false;
    std::function<bool()> m_trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;
};
