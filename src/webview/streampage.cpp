#include "streampage.h"

#include <QFile>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlSchemeHandler>

namespace {

// Answers lichuantv://player/<file> from the resources built into the program.
class PlayerResources : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        const QUrl url = job->requestUrl();
        const QString name = url.path().mid(1);
        // Scripts and style only: the page itself is only ever shown with a
        // stream's address as its location, never from here.
        const bool asset
            = name.endsWith(QLatin1String(".js")) || name.endsWith(QLatin1String(".css"));
        if (job->requestMethod() != "GET" || url.host() != QLatin1String("player")
            || name.contains(u'/') || !asset)
            return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        auto *file = new QFile(QStringLiteral(":/player/") + name, job);
        if (!file->open(QIODevice::ReadOnly))
            return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        job->reply(mediaType(name), file);
    }

private:
    static QByteArray mediaType(const QString &name)
    {
        return name.endsWith(QLatin1String(".js")) ? QByteArrayLiteral("text/javascript")
                                                   : QByteArrayLiteral("text/css");
    }
};

QString pageTemplate()
{
    static const QString text = [] {
        QFile file(QStringLiteral(":/player/stream.html"));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }();
    return text;
}

QString libraryScript(StreamKind kind)
{
    switch (kind) {
    case StreamKind::Hls:
        return QStringLiteral("<script src=\"lichuantv://player/hls.min.js\"></script>");
    case StreamKind::Flv:
    case StreamKind::MpegTs:
        return QStringLiteral("<script src=\"lichuantv://player/mpegts.js\"></script>");
    case StreamKind::None:
    case StreamKind::Unsupported:
        break;
    }
    return {};
}

} // namespace

namespace StreamPage {

QString html(StreamKind kind, const QUrl &source, int coveredTop, const StreamTimings &timings,
    const Labels &labels)
{
    QString page = pageTemplate();
    page.replace(QLatin1String("@GIVEUP@"), QString::number(timings.giveUp.count()));
    page.replace(QLatin1String("@FIRSTPAUSE@"), QString::number(timings.firstPause.count()));
    page.replace(QLatin1String("@LONGESTPAUSE@"), QString::number(timings.longestPause.count()));
    page.replace(QLatin1String("@STALL@"), QString::number(timings.stall.count()));
    page.replace(QLatin1String("@KIND@"), StreamKinds::name(kind));
    page.replace(QLatin1String("@COVERED@"), QString::number(qMax(0, coveredTop)));
    page.replace(QLatin1String("@LIBRARY@"), libraryScript(kind));
    page.replace(QLatin1String("@PAGE@"), QString::number(labels.page));
    // Last: nothing in them is ever read as a placeholder.
    page.replace(
        QLatin1String("@SOURCE@"), QString::fromLatin1(source.toEncoded()).toHtmlEscaped());
    page.replace(QLatin1String("@REASON@"), labels.reason.toHtmlEscaped());
    page.replace(QLatin1String("@LINE@"), labels.sourceLine.toHtmlEscaped());
    return page;
}

void installResources(QWebEngineProfile *profile)
{
    if (!isInstalled(profile))
        profile->installUrlSchemeHandler(Scheme, new PlayerResources(profile));
}

bool isInstalled(const QWebEngineProfile *profile)
{
    return profile->urlSchemeHandler(Scheme) != nullptr;
}

} // namespace StreamPage
