#include "windowbehaviour.h"

#include "desktop/frameextents.h"

#include <QAction>
#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {
const char *const TopmostOn = "窗口置顶";
const char *const TopmostOff = "取消置顶";
} // namespace

WindowBehaviour::WindowBehaviour(QMainWindow *window, QAction *staysOnTopAction, TrayProbe tray)
    : QObject(window), m_window(window), m_staysOnTopAction(staysOnTopAction),
      m_trayProbe(std::move(tray))
{
    // Title, system menu, minimise and close; never a maximise button.
    m_window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_window->installEventFilter(this);
    applyFixedSize();
}

void WindowBehaviour::applyFixedSize()
{
    if (QWidget *client = m_window->centralWidget())
        client->setFixedSize(ClientSize);
    int menuHeight = 0;
    if (QMenuBar *bar = m_window->menuBar(); bar && !bar->isHidden()) {
        const int wrapped = bar->heightForWidth(ClientSize.width());
        menuHeight = wrapped > 0 ? wrapped : bar->sizeHint().height();
    }
    m_fixedSize = QSize(ClientSize.width(), ClientSize.height() + menuHeight);
    m_window->setFixedSize(m_fixedSize);
    if (QLayout *l = m_window->layout())
        l->activate();
}

void WindowBehaviour::resized()
{
    if (m_window->size() == m_fixedSize
        || (m_window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        return;
    // The window manager passed on a request that ignored the size hints;
    // ask for the fixed size again once this event is over.
    QTimer::singleShot(0, this, [this] {
        if (m_window->size() != m_fixedSize && !(m_window->windowState() & Qt::WindowMaximized))
            m_window->resize(m_fixedSize);
    });
}

void WindowBehaviour::windowStateChanged()
{
    const Qt::WindowStates state = m_window->windowState();
    if (state & Qt::WindowMinimized) {
        minimiseToTray();
        return;
    }
    if (state & Qt::WindowMaximized) {
        // Only the window manager or a script can get here; leave its event
        // first, then go back to normal.
        QTimer::singleShot(0, m_window, [w = m_window] {
            if (w->windowState() & Qt::WindowMaximized)
                w->setWindowState(w->windowState() & ~Qt::WindowMaximized);
        });
    }
}

void WindowBehaviour::minimiseToTray()
{
    if (m_inTray)
        return;
    // Without a notification area the window stays on the taskbar, or it
    // could never be brought back.
    if (!m_trayProbe.available || !m_trayProbe.available())
        return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(this);
        // Qt chose the icon's kind when it made it; ask right after.
        m_trayOnBus = m_trayProbe.onStatusNotifier && m_trayProbe.onStatusNotifier();
        connect(m_tray, &QSystemTrayIcon::activated, this, &WindowBehaviour::trayActivated);
    }
    m_tray->setIcon(m_window->windowIcon());
    m_tray->setToolTip(QStringLiteral("栎川在线电视机"));
    m_tray->show();
    if (!m_tray->isVisible())
        return;
    m_inTray = true;
    // Hiding inside the state change confuses some window managers; do it
    // once the event is over.
    QTimer::singleShot(0, this, [this] {
        if (m_inTray)
            m_window->hide();
    });
}

void WindowBehaviour::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    // A StatusNotifier host reports its left click as the item's activation
    // and has no double-click; an XEmbed or Windows tray has the double-click.
    const auto restoring = m_trayOnBus ? QSystemTrayIcon::Trigger : QSystemTrayIcon::DoubleClick;
    if (reason == restoring)
        restoreFromTray();
}

void WindowBehaviour::restoreFromTray()
{
    if (!m_inTray)
        return;
    m_inTray = false;
    showInFront();
    if (m_tray)
        m_tray->hide();
}

void WindowBehaviour::bringToFront()
{
    if (m_inTray)
        restoreFromTray();
    else
        showInFront();
}

void WindowBehaviour::showInFront()
{
    m_window->setWindowState(
        m_window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_activating = true;
    if (m_window->windowHandle() && m_window->windowHandle()->isExposed())
        claimActivation();
}

// Hidden and shown again within the moment the window system takes to report
// the lost keyboard, the window is still Qt's focus window while the hidden
// widget stopped being the active one. When the window manager hands the
// keyboard back, nothing changes for Qt and nobody says so: the window looks
// focused, yet is not active and keys reach no control.
void WindowBehaviour::claimActivation()
{
    m_activating = false;
    if (QGuiApplication::focusWindow() == m_window->windowHandle()
        && QApplication::activeWindow() != m_window)
        QApplication::setActiveWindow(m_window);
}

bool WindowBehaviour::staysOnTop() const
{
    return m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void WindowBehaviour::toggleStaysOnTop()
{
    const bool on = !staysOnTop();
    setStaysOnTop(on);
    m_staysOnTopAction->setText(QString::fromUtf8(on ? TopmostOff : TopmostOn));
}

void WindowBehaviour::setStaysOnTop(bool on)
{
    Qt::WindowFlags flags = m_window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (!m_window->windowHandle()) {
        m_window->setWindowFlags(flags);
        return;
    }
    // The widget's flags hold the setting; the native window is told apart:
    // QWidget::setWindowFlags would hide and re-show the window, and with it
    // the web views.
    m_window->overrideWindowFlags(flags);
    syncTopmost();
}

// Once its on-top flag has changed, Qt on X11 makes the native window anew
// at its next showing and maps it with "above" already in _NET_WM_STATE.
// Some window managers (IceWM) then hold such a window on top for good and
// ignore every later request to lower it. So a window is mapped as an
// ordinary one and asked to stay on top once it is on the screen, where the
// request can be taken back.
void WindowBehaviour::syncTopmost()
{
    QWindow *handle = m_window->windowHandle();
    if (!handle)
        return;
    const bool wanted = staysOnTop();
    const bool onScreen = handle->isExposed();
    m_topmostPending = wanted && !onScreen;
    Qt::WindowFlags flags = handle->flags();
    flags.setFlag(Qt::WindowStaysOnTopHint, wanted && onScreen);
    handle->setFlags(flags);
}

bool WindowBehaviour::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Show && !event->spontaneous())
        shownByProgram();
    else if (watched == m_watchedHandle && event->type() == QEvent::Expose)
        exposed();
    if (watched == m_window
        && (event->type() == QEvent::Show || event->type() == QEvent::Hide
            || event->type() == QEvent::WindowStateChange))
        checkOnScreen();
    return QObject::eventFilter(watched, event);
}

void WindowBehaviour::checkOnScreen()
{
    const bool on = m_window->isVisible() && !m_window->isMinimized();
    if (on == m_onScreen)
        return;
    m_onScreen = on;
    emit onScreenChanged(on);
}

// Before a show() of the program reaches the native window.
void WindowBehaviour::shownByProgram()
{
    if (QWindow *handle = m_window->windowHandle(); handle && handle != m_watchedHandle) {
        if (m_watchedHandle)
            m_watchedHandle->removeEventFilter(this);
        m_watchedHandle = handle;
        handle->installEventFilter(this);
    }
    // Shown other than from the icon (the list loader, a second start): the
    // icon goes, and the next minimise takes the tray path again.
    if (m_inTray) {
        m_inTray = false;
        if (m_tray)
            m_tray->hide();
    }
    syncTopmost();
}

void WindowBehaviour::exposed()
{
    if (!m_watchedHandle || !m_watchedHandle->isExposed())
        return;
    if (m_topmostPending)
        syncTopmost();
    if (m_activating)
        claimActivation();
    if (m_recentre && !m_watchedHandle->frameMargins().isNull()) {
        m_recentre = false;
        centreOnScreen();
    }
}

QPoint centredPosition(const QRect &screen, const QRect &available, const QSize &outer)
{
    // The whole screen, as the design measures it, not the work area.
    QPoint p(screen.x() + qRound((screen.width() - outer.width()) / 2.0),
        screen.y() + qRound((screen.height() - outer.height()) / 2.0));
    auto into = [](int at, int size, int start, int length) {
        return size <= length ? qBound(start, at, start + length - size) : start;
    };
    if (available.isValid()) {
        p.setX(into(p.x(), outer.width(), available.x(), available.width()));
        p.setY(into(p.y(), outer.height(), available.y(), available.height()));
    }
    return p;
}

void WindowBehaviour::centreOnScreen()
{
    QScreen *screen = m_window->screen();
    if (!screen)
        return;
    QWindow *handle = m_window->windowHandle();
    const QMargins frame = handle ? handle->frameMargins() : QMargins();
    const QPoint corner = centredPosition(
        screen->geometry(), screen->availableGeometry(), m_window->size().grownBy(frame));
    // Before the window manager has framed the window its frame is unknown.
    m_recentre = frame.isNull();
    // Qt may not yet count a frame it learnt before the first showing; the
    // client's own rectangle says where the frame goes either way.
    if (m_recentre)
        m_window->move(corner);
    else
        m_window->setGeometry(QRect(corner + QPoint(frame.left(), frame.top()), m_window->size()));
    if (m_recentre && !m_window->isVisible())
        askForFrame();
}

// A window manager may keep a window that does not fit the screen where it
// was first mapped, whatever it is asked later; it is placed by its frame
// before its first showing if the window manager says which frame it will be.
void WindowBehaviour::askForFrame()
{
    if (m_frameRequest)
        return;
    m_window->winId();
    m_frameRequest = new FrameExtentsRequest(m_window->windowHandle());
    connect(m_frameRequest, &FrameExtentsRequest::answered, this, [this] {
        if (!m_window->isVisible())
            centreOnScreen();
    });
    m_frameRequest->send();
}
