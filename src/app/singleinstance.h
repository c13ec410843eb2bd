#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running viewer per user. The running viewer listens on a local socket
// that only its user can reach; a later start connects to it, asks it to
// come forward and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: where the viewers of one user meet; defaultName() for the viewer.
    explicit SingleInstance(QString name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running viewer, or asks the one already running to come
    // forward. True when this process is now the running viewer; false when
    // another one runs and has been asked.
    bool claim();
    bool isRunningViewer() const;

    QString name() const { return m_name; }
    // Claims of one name take turns through this lock file.
    QString lockFilePath() const;

    // The user's own: a socket in the user's private runtime directory.
    static QString defaultName();

signals:
    // Another start asked this viewer to come forward.
    void activationRequested();

private:
    enum class Answer { Nobody, Acknowledged, Silent };
    Answer askRunningViewer();
    bool listen();
    void serve(QLocalSocket *peer);
    void readRequest(QLocalSocket *peer);

    QString m_name;
    QLocalServer *m_server = nullptr;
};
