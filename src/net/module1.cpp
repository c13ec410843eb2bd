#include "module1.h"

#include "app/msgbox.h"
#include "appinfo.h"
#include "weburl.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace Module1 {

QString LocalVersion;
QString ServerVersion;

namespace {

// A hostile server must not make us hold an unbounded body.
constexpr qsizetype kBodyCap = 1048576;

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

QString HttpGetText(const QString &url, const QString &cookie, qint16 &timeout)
{
    if (timeout == 0)
        timeout = 30;
    // Nothing can have completed before the wait begins, so a negative limit
    // has nothing to return.
    if (timeout < 0)
        return QString();

    const QUrl target = WebUrl::fromText(url);
    if (target.isEmpty())
        return QString();

    QElapsedTimer clock;
    clock.start();
    const qint64 limitNs = qint64(timeout) * 1000 * 1000 * 1000;

    QNetworkRequest request(target);
    // A null value would remove the header; the server expects it even empty.
    QByteArray cookieValue = cookie.toUtf8();
    if (cookieValue.isNull())
        cookieValue = QByteArray("", 0);
    request.setRawHeader("Cookie", cookieValue);
    request.setRawHeader("If-Modified-Since", "0");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Keep a cookie jar from replacing the caller's Cookie header.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);

    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(request);

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);

    QByteArray body;
    bool finished = false;
    bool capped = false;
    bool woken = false;

    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (capped)
            return;
        body += reply->read(kBodyCap + 1 - body.size());
        if (body.size() > kBodyCap) {
            body.truncate(kBodyCap);
            capped = true;
            reply->abort(); // emits finished
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
        finished = true;
        woken = true;
        loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        woken = true;
        loop.quit();
    });

    while (!finished) {
        const qint64 elapsedNs = clock.nsecsElapsed();
        if (elapsedNs > limitNs)
            break;
        // One millisecond past the limit, so that exactly the limit does not end the wait.
        const qint64 remainingMs = (limitNs - elapsedNs + 999999) / 1000000;
        deadline.start(int(remainingMs) + 1);
        woken = false;
        loop.exec();
        deadline.stop();
        // Only QCoreApplication::exit ends the loop without one of our wake-ups.
        if (!woken && !finished)
            break;
    }

    if (!finished) {
        reply->disconnect(&loop);
        reply->abort();
        return QString();
    }
    if (capped)
        return decodeBody(body, reply->rawHeader("Content-Type"));
    if (fetchFailed(reply))
        return QString();
    body += reply->read(kBodyCap - body.size());
    return decodeBody(body, reply->rawHeader("Content-Type"));
}

void CheckVersion(QWidget *parent, const QString &vendorSite)
{
    LocalVersion
            = QString::number(AppInfo::Major) + QLatin1Char('.') + QString::number(AppInfo::Minor);
    qint16 timeout = 15;
    ServerVersion
            = HttpGetText(vendorSite + QStringLiteral("/version/zavo.txt"), QString(), timeout);
    if (MsgBox::programEnding())
        return;
    if (ServerVersion == LocalVersion)
        return;
    if (ServerVersion.isEmpty()) {
        MsgBox::show(parent, QStringLiteral("您所处的网络环境不稳定,无法正常体验。"),
                     MsgBox::OkOnly | MsgBox::Question, QStringLiteral("提示"));
        return;
    }
    MsgBox::show(parent, QStringLiteral("您使用的版本已过期,建议下载最新版本。"),
                 MsgBox::OkOnly | MsgBox::Question, QStringLiteral("提示"));
    QDesktopServices::openUrl(QUrl(vendorSite));
}

} // namespace Module1
