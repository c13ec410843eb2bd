#pragma once

#include "net/channeladdress.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches the beginning of an answer the engine showed as text or would
// only save, so its own bytes can say what it is. Reads at most MaxBytes,
// then closes the connection; a live stream costs no more than that.
class FirstBytes : public QObject {
    Q_OBJECT
public:
    explicit FirstBytes(QObject *parent = nullptr);
    ~FirstBytes() override;

    static constexpr qsizetype MaxBytes = 4096;
    static constexpr int TimeoutMs = 5000;

    // Ends any earlier fetch; arrived() reports this one.
    void fetch(const QUrl &url, const RequestHeaders &headers, const QByteArray &userAgent);
    void cancel();

signals:
    // What came, up to MaxBytes; empty when nothing did.
    void arrived(const QByteArray &bytes);

private:
    void finish();

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_bytes;
};
