#include "windowbehaviour.h"

#include "msgbox.h"

#include <QAction>
#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <QWindow>

namespace {
const char *const TopmostOn = "窗口置顶";
const char *const TopmostOff = "取消置顶";
} // namespace

WindowBehaviour::WindowBehaviour(QMainWindow *window, QAction *topmostAction)
    : QObject(window), m_window(window), m_topmostAction(topmostAction)
{
    // Title, system menu, minimise and close; never a maximise button.
    m_window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The program ends only through the confirmed close; a window hidden in
    // the tray, or a box closing while it is hidden, must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
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
    if (!m_trayAvailable || !m_trayAvailable())
        return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(this);
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
    if (reason == QSystemTrayIcon::DoubleClick)
        restoreFromTray();
}

void WindowBehaviour::restoreFromTray()
{
    if (!m_inTray)
        return;
    m_inTray = false;
    m_window->setWindowState(
        m_window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    m_window->show();
    // Leaving the minimised state maps the window before Qt restates its
    // flags, so the window manager may not see "on top"; say it again.
    if (isTopmost()) {
        setTopmost(false);
        setTopmost(true);
    }
    m_window->raise();
    m_window->activateWindow();
    if (m_tray)
        m_tray->hide();
}

bool WindowBehaviour::isTopmost() const
{
    return m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void WindowBehaviour::M_ckzd_Click()
{
    const bool on = m_topmostAction->text() == QString::fromUtf8(TopmostOn);
    setTopmost(on);
    m_topmostAction->setText(QString::fromUtf8(on ? TopmostOff : TopmostOn));
}

void WindowBehaviour::setTopmost(bool on)
{
    Qt::WindowFlags flags = m_window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow *handle = m_window->windowHandle()) {
        // Told to the native window directly: QWidget::setWindowFlags would
        // hide and re-show the window, and with it the web views.
        m_window->overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        m_window->setWindowFlags(flags);
    }
}

bool WindowBehaviour::Form_QueryUnload()
{
    // One question at a time; a second request while it is open is refused.
    if (m_asking)
        return false;
    m_asking = true;
    const int answer = MsgBox::show(m_window, QStringLiteral("您确定要退出程序吗?"),
        MsgBox::OkCancel | MsgBox::Question, QStringLiteral("退出提示"));
    m_asking = false;
    return answer == MsgBox::Ok;
}
