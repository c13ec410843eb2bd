#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>

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

    // The answer counts only while no more than limit has passed since
    // start(); a limit below zero has passed already.
    explicit TextFetch(std::chrono::milliseconds limit, QObject *parent = nullptr);
    ~TextFetch() override;

    // GET url with an empty "Cookie" and "If-Modified-Since: 0", as the
    // vendor's server expects. finished() always comes later, never from
    // inside start(). Starting again abandons the request before.
    void start(const QString &url);
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
    std::chrono::milliseconds m_limit;
    // Tells a queued result of an abandoned start() from the current one.
    quint64 m_generation = 0;
    QByteArray m_body;
    bool m_capped = false;
    bool m_running = false;
};
