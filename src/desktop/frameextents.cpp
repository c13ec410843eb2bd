#include "frameextents.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>
#ifdef LICHUAN_X11_FRAME
#include <qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#endif

FrameExtentsRequest::FrameExtentsRequest(QWindow *window) : QObject(window), m_window(window)
{
}

FrameExtentsRequest::~FrameExtentsRequest()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool FrameExtentsRequest::send()
{
#ifdef LICHUAN_X11_FRAME
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    const auto atom = [c](const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, false, uint16_t(qstrlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : XCB_ATOM_NONE;
        std::free(reply);
        return a;
    };
    const xcb_atom_t request = atom("_NET_REQUEST_FRAME_EXTENTS");
    m_extents = atom("_NET_FRAME_EXTENTS");
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (request == XCB_ATOM_NONE || m_extents == XCB_ATOM_NONE || !screen)
        return false;
    QCoreApplication::instance()->installNativeEventFilter(this);
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(m_window->winId());
    message.type = request;
    xcb_send_event(c, false, screen->root,
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char *>(&message));
    xcb_flush(c);
    return true;
#else
    return false;
#endif
}

bool FrameExtentsRequest::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#ifdef LICHUAN_X11_FRAME
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
    if (change->window == xcb_window_t(m_window->winId()) && change->atom == m_extents) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        // Once Qt itself has seen the change.
        QMetaObject::invokeMethod(this, &FrameExtentsRequest::answered, Qt::QueuedConnection);
    }
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
#endif
    return false;
}
