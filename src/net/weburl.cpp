#include "weburl.h"

#include <QHostAddress>
#include <QStringList>

namespace WebUrl {

namespace {

// The text as an address bar takes it: no surrounding blanks and control
// characters, no tabs or line breaks inside.
QUrl tolerantUrl(const QString &text)
{
    auto isC0OrSpace = [](QChar c) { return c.unicode() <= 0x20; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isC0OrSpace(text[begin]))
        ++begin;
    while (end > begin && isC0OrSpace(text[end - 1]))
        --end;
    QString cleaned;
    cleaned.reserve(end - begin);
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = text[i];
        if (c != u'\t' && c != u'\n' && c != u'\r')
            cleaned.append(c);
    }

    return QUrl(cleaned, QUrl::TolerantMode);
}

} // namespace

bool isDatagramAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && url.port() > 0
        && QHostAddress(url.host()).protocol() == QAbstractSocket::IPv4Protocol
        && (scheme == QLatin1String("udp") || scheme == QLatin1String("rtp"));
}

QUrl fromText(const QString &text)
{
    const QUrl url = tolerantUrl(text);
    return isWebAddress(url) ? url : QUrl();
}

QUrl playable(const QString &text)
{
    const QUrl url = tolerantUrl(text);
    return isWebAddress(url) || isDatagramAddress(url) ? url : QUrl();
}

QString refusal(const QString &text)
{
    const QUrl url = tolerantUrl(text);
    if (isWebAddress(url) || isDatagramAddress(url))
        return {};
    const QString scheme = url.scheme();
    // A scheme we play without a host (or port) is an address cut short,
    // not another kind.
    static const QStringList ours {QStringLiteral("http"), QStringLiteral("https"),
        QStringLiteral("udp"), QStringLiteral("rtp")};
    if (!url.isValid() || scheme.isEmpty() || ours.contains(scheme))
        return QStringLiteral("地址无效");
    return QStringLiteral("不支持的地址（%1）").arg(scheme.toUpper());
}

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace WebUrl
