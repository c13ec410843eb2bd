#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
const QByteArray Request = QByteArrayLiteral("activate\n");
const QByteArray Reply = QByteArrayLiteral("ok\n");
constexpr qint64 MaxRequest = 64;
// A running viewer answers in milliseconds; these only bound a hung one.
constexpr int ConnectWaitMs = 1000;
constexpr int AnswerWaitMs = 3000;
constexpr int LockWaitMs = 5000;
} // namespace

SingleInstance::SingleInstance(QString name, QObject *parent)
    : QObject(parent), m_name(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
#ifdef Q_OS_UNIX
    // The runtime directory belongs to the user alone (mode 0700), so no one
    // else can reach the socket or take its name first.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString base = QStringLiteral("lichuantv-%1").arg(::getuid());
    return dir.isEmpty() ? base : dir + u'/' + base;
#else
    // Pipe names are machine-wide; the user's profile tells users apart.
    const QByteArray home = QDir::homePath().toUtf8();
    return QStringLiteral("lichuantv-")
        + QString::fromLatin1(
            QCryptographicHash::hash(home, QCryptographicHash::Sha256).toHex().left(16));
#endif
}

QString SingleInstance::lockFilePath() const
{
    if (QDir::isAbsolutePath(m_name))
        return m_name + QStringLiteral(".lock");
    return QDir(QDir::tempPath()).filePath(m_name + QStringLiteral(".lock"));
}

bool SingleInstance::isRunningViewer() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::claim()
{
    if (isRunningViewer())
        return true;
    // Starts that race take turns from asking to listening, so exactly one
    // of them listens and the others find it. A lock left by a claimant that
    // crashed is stale and taken over; a hung one is not waited for forever.
    QLockFile turn(lockFilePath());
    turn.tryLock(LockWaitMs);
    if (askRunningViewer() != Answer::Nobody)
        return false;
    // Should listening fail, the viewer still runs, only without this guard.
    listen();
    return true;
}

SingleInstance::Answer SingleInstance::askRunningViewer()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    // A socket left by a viewer that crashed refuses the connection.
    if (!socket.waitForConnected(ConnectWaitMs))
        return Answer::Nobody;
    socket.write(Request);
    socket.waitForBytesWritten(AnswerWaitMs);
    const QDeadlineTimer deadline(AnswerWaitMs);
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime()))) {
            // Closed unanswered: that viewer is on its way out. Still open:
            // it is busy, and reads the request when it gets to it.
            return socket.state() == QLocalSocket::ConnectedState ? Answer::Silent : Answer::Nobody;
        }
    }
    return Answer::Acknowledged;
}

bool SingleInstance::listen()
{
    auto *server = new QLocalServer(this);
    // With access restricted, Qt on Unix makes the socket elsewhere and
    // renames it over the name, so listening alone would not notice another
    // viewer there; the turn taken in claim() does.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    bool ok = server->listen(m_name);
    if (!ok && server->serverError() == QAbstractSocket::AddressInUseError) {
        // Nobody answered on it, so it is what a crashed viewer left behind.
        QLocalServer::removeServer(m_name);
        ok = server->listen(m_name);
    }
    if (!ok) {
        delete server;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket *peer = server->nextPendingConnection())
            serve(peer);
    });
    m_server = server;
    return true;
}

void SingleInstance::serve(QLocalSocket *peer)
{
    peer->setParent(this);
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    connect(peer, &QLocalSocket::readyRead, this, [this, peer] { readRequest(peer); });
    // The request may have arrived with the connection.
    if (peer->bytesAvailable() > 0)
        readRequest(peer);
}

void SingleInstance::readRequest(QLocalSocket *peer)
{
    if (!peer->canReadLine()) {
        if (peer->bytesAvailable() > MaxRequest)
            peer->abort();
        return;
    }
    const bool activate = peer->readLine(MaxRequest + 1) == Request;
    if (activate)
        peer->write(Reply);
    // Answered first, so the other start ends without waiting for the window.
    peer->disconnectFromServer();
    if (activate)
        emit activationRequested();
}
