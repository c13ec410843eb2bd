#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches one small text over HTTP with a time limit, without waiting: the
// request goes out at start() and finished() brings the body, decoded by its
// charset (UTF-8 when it names none), or "" when no text could be had. The
// HTTP status is not judged: an error page's body is a text like any other.
class TextFetch : public QObject {
    Q_OBJECT
public:
    // A hostile server must not make us hold an unbounded body.
    static constexpr qsizetype BodyCap = 1048576;

    explicit TextFetch(QObject *parent = nullptr);
    ~TextFetch() override;

    // GET url with "Cookie: <cookie>" and "If-Modified-Since: 0". The limit
    // is in whole seconds; 0 stands for 30 and is written back. The answer
    // counts only while no more than the limit has passed; a negative limit
    // has passed already. finished() always comes later, never from inside
    // start(). Starting again abandons the request before.
    void start(const QString &url, const QString &cookie, qint16 &timeoutSeconds);
    bool isRunning() const { return m_running; }

signals:
    void finished(const QString &text);

private:
    void readSome();
    void replyFinished();
    void deadlineReached();
    void finish(const QString &text);
    void abandonReply();

    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    qint64 m_limitNs = 0;
    // Tells a queued result of an abandoned start() from the current one.
    quint64 m_generation = 0;
    QByteArray m_body;
    bool m_capped = false;
    bool m_running = false;
};
