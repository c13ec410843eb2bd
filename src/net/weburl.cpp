#include "weburl.h"

namespace WebUrl {

QUrl fromText(const QString &text)
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

    const QUrl url(cleaned, QUrl::TolerantMode);
    return isWebAddress(url) ? url : QUrl();
}

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace WebUrl
