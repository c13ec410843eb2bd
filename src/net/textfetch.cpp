#include "textfetch.h"

#include "weburl.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

namespace {

QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray param = parts.at(i).trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0 || param.left(eq).trimmed().toLower() != "charset")
            continue;
        QByteArray value = param.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value.trimmed();
    }
    return {};
}

QString decodeBody(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray charset = charsetOf(contentType);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    return utf8.decode(body);
}

// Connection, TLS, redirect-loop and proxy errors, or an answer that is not
// HTTP, leave nothing usable. Errors that merely mirror an HTTP status (404,
// 500, ...) keep their body: the status is not ours to judge.
bool fetchFailed(const QNetworkReply *reply)
{
    const QNetworkReply::NetworkError error = reply->error();
    if (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        return true;
    if (error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure)
        return true;
    return !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

} // namespace

TextFetch::TextFetch(std::chrono::milliseconds limit, QObject *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this)), m_limit(limit)
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &TextFetch::deadlineReached);
}

TextFetch::~TextFetch()
{
    abandonReply();
}

void TextFetch::start(const QString &url)
{
    abandonReply();
    m_deadline.stop();
    m_body.clear();
    m_capped = false;
    m_running = true;
    const quint64 generation = ++m_generation;

    const QUrl target = WebUrl::fromText(url);
    // Nothing can have arrived before the wait begins, so a negative limit
    // has nothing to give; neither has an address that is not a web one.
    if (m_limit.count() < 0 || target.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation)
                    finish(QString());
            },
            Qt::QueuedConnection);
        return;
    }

    QNetworkRequest request(target);
    // A null value would remove the header; the server expects it even empty.
    request.setRawHeader("Cookie", QByteArray("", 0));
    request.setRawHeader("If-Modified-Since", "0");
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Keep a cookie jar from replacing the caller's Cookie header.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);

    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &TextFetch::readSome);
    connect(m_reply, &QNetworkReply::finished, this, &TextFetch::replyFinished);
    m_clock.start();
    // Exactly the limit still counts as within it; the first moment past it
    // does not.
    m_deadline.start(int(m_limit.count()) + 1);
}

void TextFetch::deadlineReached()
{
    // The clock, not the timer, says when the limit has passed: a timer may
    // fire a little early.
    const qint64 leftNs = m_limit.count() * 1000000 - m_clock.nsecsElapsed();
    if (leftNs >= 0) {
        m_deadline.start(int(leftNs / 1000000) + 1);
        return;
    }
    abandonReply();
    finish(QString());
}

void TextFetch::readSome()
{
    if (!m_reply || m_capped)
        return;
    m_body += m_reply->read(BodyCap + 1 - m_body.size());
    if (m_body.size() > BodyCap) {
        m_body.truncate(BodyCap);
        m_capped = true;
        m_reply->abort(); // emits finished
    }
}

void TextFetch::replyFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    m_deadline.stop();
    if (m_capped) {
        finish(decodeBody(m_body, reply->rawHeader("Content-Type")));
        return;
    }
    if (fetchFailed(reply)) {
        finish(QString());
        return;
    }
    m_body += reply->read(BodyCap - m_body.size());
    finish(decodeBody(m_body, reply->rawHeader("Content-Type")));
}

void TextFetch::finish(const QString &text)
{
    if (!m_running)
        return;
    m_running = false;
    m_body.clear();
    emit finished(text);
}

void TextFetch::abandonReply()
{
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}
