#pragma once

// A stream server that sends whatever it likes as fast as loopback takes it,
// from a thread of its own so that its sending costs the test's window
// nothing: every request gets an endless body, a head and then one block
// over and over.

#include <QByteArray>
#include <QThread>
#include <QUrl>

#include <atomic>

class HostileSender;

class HostileServer {
public:
    HostileServer(const QByteArray &head, const QByteArray &block,
        const QByteArray &contentType = "video/mp2t");
    ~HostileServer();
    HostileServer(const HostileServer &) = delete;
    HostileServer &operator=(const HostileServer &) = delete;

    // 0 when it cannot listen.
    quint16 port() const { return m_port; }
    QUrl url(const QString &path) const;
    qint64 bytesSent() const { return m_sent; }
    int openConnections() const { return m_open; }

private:
    friend class HostileSender;
    QThread m_thread;
    HostileSender *m_sender;
    quint16 m_port = 0;
    std::atomic<qint64> m_sent {0};
    std::atomic<int> m_open {0};
};
