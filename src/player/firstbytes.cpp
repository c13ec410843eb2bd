#include "firstbytes.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

FirstBytes::FirstBytes(QObject *parent) : QObject(parent)
{
}

FirstBytes::~FirstBytes()
{
    cancel();
}

void FirstBytes::fetch(const QUrl &url, const RequestHeaders &headers, const QByteArray &userAgent)
{
    cancel();
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    if (!userAgent.isEmpty())
        request.setRawHeader("User-Agent", userAgent);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(TimeoutMs);
    m_bytes.clear();
    m_reply = m_network->get(request);
    // Nothing beyond what is read waits in the answer either.
    m_reply->setReadBufferSize(MaxBytes);
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        m_bytes += m_reply->read(MaxBytes - m_bytes.size());
        if (m_bytes.size() >= MaxBytes)
            finish();
    });
    connect(m_reply, &QNetworkReply::finished, this, &FirstBytes::finish);
}

void FirstBytes::cancel()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
}

void FirstBytes::finish()
{
    if (!m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_reply->bytesAvailable() > 0 && m_bytes.size() < MaxBytes)
        m_bytes += m_reply->read(MaxBytes - m_bytes.size());
    cancel();
    emit arrived(status >= 400 ? QByteArray() : std::exchange(m_bytes, {}));
}
