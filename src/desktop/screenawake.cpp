#include "screenawake.h"

#include <iterator>

#ifdef LICHUAN_FREEDESKTOP
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif
#ifdef LICHUAN_X11_SAVER
#include <QGuiApplication>
#include <qguiapplication_platform.h>
// Last: Xlib's macros would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#endif

namespace {

// A D-Bus service that keeps the session from going idle.
struct Inhibitor {
    const char *service;
    const char *path;
    const char *interface;
    // The desktop portal (what sandboxes reach) answers with a request to
    // close; the others with a cookie to hand back.
    bool portal;
};

const Inhibitor Inhibitors[] = {
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
        false},
    {"org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
        "org.freedesktop.PowerManagement.Inhibit", false},
    {"org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
        "org.freedesktop.portal.Inhibit", true},
};
constexpr int InhibitorCount = int(std::size(Inhibitors));
// The portal's flag for "the session going idle", screen saver included.
constexpr uint PortalIdle = 8;

} // namespace

ScreenAwake::ScreenAwake(const QString &application, const QString &reason, QObject *parent)
    : QObject(parent), m_application(application), m_reason(reason)
{
    m_tokens.resize(InhibitorCount);
}

ScreenAwake::~ScreenAwake()
{
    setHeld(false);
}

void ScreenAwake::setHeld(bool held)
{
    if (held == m_held)
        return;
    m_held = held;
    ++m_holds;
    held ? hold() : release();
}

void ScreenAwake::hold()
{
    m_x11Suspended = suspendX11ScreenSaver(true);
    for (int i = 0; i < InhibitorCount; ++i)
        holdThrough(i);
}

void ScreenAwake::release()
{
    if (m_x11Suspended)
        suspendX11ScreenSaver(false);
    m_x11Suspended = false;
    for (int i = 0; i < InhibitorCount; ++i) {
        releaseToken(i, m_tokens[i]);
        m_tokens[i] = QVariant();
    }
}

void ScreenAwake::holdThrough(int inhibitor)
{
#ifdef LICHUAN_FREEDESKTOP
    const Inhibitor &in = Inhibitors[inhibitor];
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(in.service),
        QString::fromLatin1(in.path), QString::fromLatin1(in.interface), QStringLiteral("Inhibit"));
    if (in.portal) {
        call << QString() << PortalIdle << QVariantMap {{QStringLiteral("reason"), m_reason}};
    } else {
        // Only a service that runs now; the portal may be started for us.
        call.setAutoStartService(false);
        call << m_application << m_reason;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, inhibitor, hold = m_holds](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                return;
            const QVariant token = reply.arguments().first();
            if (hold == m_holds && m_held)
                m_tokens[inhibitor] = token;
            else
                releaseToken(inhibitor, token);
        });
#else
    Q_UNUSED(inhibitor)
#endif
}

void ScreenAwake::releaseToken(int inhibitor, const QVariant &token)
{
#ifdef LICHUAN_FREEDESKTOP
    if (!token.isValid())
        return;
    const Inhibitor &in = Inhibitors[inhibitor];
    QDBusMessage call;
    if (in.portal) {
        call = QDBusMessage::createMethodCall(QString::fromLatin1(in.service),
            token.value<QDBusObjectPath>().path(), QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Close"));
    } else {
        call = QDBusMessage::createMethodCall(QString::fromLatin1(in.service),
            QString::fromLatin1(in.path), QString::fromLatin1(in.interface),
            QStringLiteral("UnInhibit"));
        call << token.toUInt();
    }
    call.setAutoStartService(false);
    QDBusConnection::sessionBus().send(call);
#else
    Q_UNUSED(inhibitor)
    Q_UNUSED(token)
#endif
}

// The X server counts each client's suspensions and drops them when the
// client's connection closes; Qt's own connection goes with the process.
bool ScreenAwake::suspendX11ScreenSaver(bool suspend)
{
#ifdef LICHUAN_X11_SAVER
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!display || !XScreenSaverQueryExtension(display, &event, &error)
        || !XScreenSaverQueryVersion(display, &major, &minor) || major * 100 + minor < 101)
        return false;
    XScreenSaverSuspend(display, suspend ? True : False);
    XFlush(display);
    return true;
#else
    Q_UNUSED(suspend)
    return false;
#endif
}
