// A StatusNotifier watcher and host on the session bus, as the desktops that
// show tray icons through D-Bus run one, for the tray tests.
//
//   sniwatcher [--no-host | --opaque]
//
// Owns org.kde.StatusNotifierWatcher at /StatusNotifierWatcher with an
// introspectable interface. Items that register are listed until their bus
// name goes away. Like a host, it reads each new item's properties and calls
// the item's methods on request.
//
// --no-host  the watcher reports no registered host.
// --opaque   the watcher answers IsStatusNotifierHostRegistered (true) but
//            cannot be introspected.
//
// Standard output, one line each: "ready"; "registered <id>";
// "unregistered <id>"; "item <id> status=<s> tooltip=<title> pixmaps=<WxH,...>";
// "reply <method> ok" or "reply <method> error <name>".
// Standard input, one line each, sent to the item registered last as a host
// does: "Activate <x> <y>", "SecondaryActivate <x> <y>", "ContextMenu <x> <y>",
// "Scroll <delta> <orientation>".

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <unistd.h>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

void say(const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// Where an item lives: its bus name and object path.
struct ItemAddress {
    QString service;
    QString path;
};

ItemAddress addressOf(const QString &id)
{
    const int slash = id.indexOf(u'/');
    if (slash < 0)
        return {id, QStringLiteral("/StatusNotifierItem")};
    return {id.left(slash), id.mid(slash)};
}

// Icon sizes of an a(iiay) value, as "WxH,WxH".
QString pixmapSizes(const QDBusArgument &arg)
{
    QStringList sizes;
    arg.beginArray();
    while (!arg.atEnd()) {
        int w = 0;
        int h = 0;
        QByteArray data;
        arg.beginStructure();
        arg >> w >> h >> data;
        arg.endStructure();
        sizes << QStringLiteral("%1x%2").arg(w).arg(h);
    }
    arg.endArray();
    return sizes.join(u',');
}

// The title of a (sa(iiay)ss) tool tip.
QString toolTipTitle(const QDBusArgument &arg)
{
    QString icon;
    QString title;
    QString text;
    arg.beginStructure();
    arg >> icon;
    pixmapSizes(arg);
    arg >> title >> text;
    arg.endStructure();
    return title;
}

class Watcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    Watcher(QObject *object, bool withHost)
        : QDBusAbstractAdaptor(object), m_hostRegistered(withHost),
          m_names(new QDBusServiceWatcher(this))
    {
        m_names->setConnection(QDBusConnection::sessionBus());
        m_names->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(m_names, &QDBusServiceWatcher::serviceUnregistered, this, &Watcher::nameGone);
    }

    QStringList registeredItems() const { return m_items; }
    bool hostRegistered() const { return m_hostRegistered; }
    int protocolVersion() const { return 0; }
    QString lastItem() const { return m_items.value(m_items.size() - 1); }

public slots:
    void RegisterStatusNotifierItem(const QString &serviceOrPath, const QDBusMessage &message)
    {
        // A path alone names an object of the caller.
        const QString id
            = serviceOrPath.startsWith(u'/') ? message.service() + serviceOrPath : serviceOrPath;
        if (m_items.contains(id))
            return;
        m_items << id;
        m_names->addWatchedService(addressOf(id).service);
        say(QStringLiteral("registered ") + id);
        emit StatusNotifierItemRegistered(id);
        readItem(id);
    }

    void RegisterStatusNotifierHost(const QString &service)
    {
        Q_UNUSED(service);
        if (!m_hostRegistered) {
            m_hostRegistered = true;
            emit StatusNotifierHostRegistered();
        }
    }

signals:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierItemUnregistered(const QString &service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    void nameGone(const QString &service)
    {
        m_names->removeWatchedService(service);
        const QStringList items = m_items;
        for (const QString &id : items) {
            if (addressOf(id).service != service)
                continue;
            m_items.removeAll(id);
            say(QStringLiteral("unregistered ") + id);
            emit StatusNotifierItemUnregistered(id);
        }
    }

    // What a host shows: the item's status, tool tip and icon.
    void readItem(const QString &id)
    {
        const ItemAddress at = addressOf(id);
        QDBusMessage get = QDBusMessage::createMethodCall(at.service, at.path,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
        get << ItemInterface;
        auto *call
            = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [id](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            if (reply.type() != QDBusMessage::ReplyMessage) {
                say(QStringLiteral("item %1 error %2").arg(id, reply.errorName()));
                return;
            }
            QVariantMap props;
            reply.arguments().value(0).value<QDBusArgument>() >> props;
            const QString tip = toolTipTitle(props.value("ToolTip").value<QDBusArgument>());
            const QString pixmaps = pixmapSizes(props.value("IconPixmap").value<QDBusArgument>());
            say(QStringLiteral("item %1 status=%2 tooltip=%3 pixmaps=%4")
                    .arg(id, props.value("Status").toString(), tip, pixmaps));
        });
    }

    QStringList m_items;
    bool m_hostRegistered;
    QDBusServiceWatcher *m_names;
};

// Answers the host property but offers no introspection data.
class OpaqueWatcher : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")
            && message.member() == QLatin1String("Get")
            && message.arguments().value(1).toString()
                == QLatin1String("IsStatusNotifierHostRegistered")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(true))));
            return true;
        }
        return false;
    }
};

// Calls a method of the item as a host does on the user's gesture.
void callItem(const QString &id, const QStringList &words)
{
    if (id.isEmpty() || words.isEmpty()) {
        say(QStringLiteral("reply %1 error no-item").arg(words.value(0)));
        return;
    }
    const ItemAddress at = addressOf(id);
    const QString method = words.first();
    QDBusMessage call = QDBusMessage::createMethodCall(at.service, at.path, ItemInterface, method);
    if (method == QLatin1String("Scroll"))
        call << words.value(1).toInt() << words.value(2);
    else
        call << words.value(1).toInt() << words.value(2).toInt();
    auto *pending = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call), QCoreApplication::instance());
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, QCoreApplication::instance(),
        [method](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            say(reply.type() == QDBusMessage::ReplyMessage
                    ? QStringLiteral("reply %1 ok").arg(method)
                    : QStringLiteral("reply %1 error %2").arg(method, reply.errorName()));
        });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "sniwatcher: no session bus\n");
        return 2;
    }

    QObject root;
    Watcher *watcher = nullptr;
    OpaqueWatcher opaque;
    if (args.contains(QLatin1String("--opaque"))) {
        bus.registerVirtualObject(WatcherPath, &opaque);
    } else {
        watcher = new Watcher(&root, !args.contains(QLatin1String("--no-host")));
        bus.registerObject(WatcherPath, &root, QDBusConnection::ExportAdaptors);
    }
    // The object is in place before the name appears, so a client that sees
    // the name can use it at once.
    if (bus.interface()
            ->registerService(WatcherService, QDBusConnectionInterface::DontQueueService,
                QDBusConnectionInterface::DontAllowReplacement)
            .value()
        != QDBusConnectionInterface::ServiceRegistered) {
        std::fprintf(stderr, "sniwatcher: %s is taken\n", qPrintable(WatcherService));
        return 3;
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            // The test has gone.
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, int(n));
        for (int end; (end = pending.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (!line.isEmpty())
                callItem(watcher ? watcher->lastItem() : QString(), line.split(u' '));
        }
    });
    say(QStringLiteral("ready"));
    return app.exec();
}

#include "sniwatcher.moc"
