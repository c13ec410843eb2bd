#include "hostileserver.h"

#include <QTcpServer>
#include <QTcpSocket>

class HostileSender : public QObject {
public:
    HostileSender(HostileServer *owner, QByteArray head, QByteArray block, QByteArray type)
        : m_owner(owner), m_head(std::move(head)), m_type(std::move(type))
    {
        // Blocks of about a megabyte, so each write is worth its call.
        while (m_blocks.size() < (1 << 20))
            m_blocks += block;
    }

    quint16 listen()
    {
        auto *server = new QTcpServer(this);
        connect(server, &QTcpServer::newConnection, this, [this, server] {
            while (QTcpSocket *socket = server->nextPendingConnection())
                serve(socket);
        });
        return server->listen(QHostAddress::LocalHost) ? server->serverPort() : 0;
    }

private:
    void serve(QTcpSocket *socket)
    {
        socket->setParent(this);
        ++m_owner->m_open;
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_owner->m_open;
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            const QByteArray request
                = socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request.right(3));
            if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + m_type + "\r\n\r\n" + m_head);
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 written) {
                m_owner->m_sent += written;
                if (socket->bytesToWrite() < m_blocks.size())
                    socket->write(m_blocks);
            });
        });
    }

    HostileServer *m_owner;
    QByteArray m_head, m_blocks, m_type;
};

HostileServer::HostileServer(
    const QByteArray &head, const QByteArray &block, const QByteArray &contentType)
    : m_sender(new HostileSender(this, head, block, contentType))
{
    m_sender->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_sender, &QObject::deleteLater);
    m_thread.start();
    HostileSender *sender = m_sender;
    QMetaObject::invokeMethod(
        sender, [sender] { return sender->listen(); }, Qt::BlockingQueuedConnection, &m_port);
}

HostileServer::~HostileServer()
{
    m_thread.quit();
    m_thread.wait();
}

QUrl HostileServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}
