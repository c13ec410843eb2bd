#include "streampage.h"

#include <QCoreApplication>
#include <QFile>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace {

const QByteArray kScheme = QByteArrayLiteral("lichuantv");

// The engine fixes its schemes when it starts, so lichuantv: is made known
// as soon as there is an application object, before any view exists. It
// must be loadable from any page (the stream page has the stream's origin)
// and fetch()able; it is not local, so it can reach nothing on disk.
void registerScheme()
{
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}
Q_COREAPP_STARTUP_FUNCTION(registerScheme)

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

QString html(StreamKind kind, int coveredTop)
{
    QString page = pageTemplate();
    page.replace(QLatin1String("@KIND@"), StreamKinds::name(kind));
    page.replace(QLatin1String("@COVERED@"), QString::number(qMax(0, coveredTop)));
    page.replace(QLatin1String("@LIBRARY@"), libraryScript(kind));
    return page;
}

void installResources(QWebEngineProfile *profile)
{
    if (!profile->urlSchemeHandler(kScheme))
        profile->installUrlSchemeHandler(kScheme, new PlayerResources(profile));
}

} // namespace StreamPage
