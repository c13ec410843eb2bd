#include "webenvironment.h"

#include "silentpage.h"
#include "streampage.h"

#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineUrlScheme>

namespace WebEnvironment {

void registerSchemes()
{
    // Loadable from any page (the stream page has the stream's origin) and
    // fetch()able; not local, so it reaches nothing on disk.
    QWebEngineUrlScheme scheme(StreamPage::Scheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QByteArrayList engineArguments()
{
    return {QByteArrayLiteral("--webEngineArgs"),
        QByteArrayLiteral("--disable-features=HardwareMediaKeyHandling")};
}

void prepareProfile()
{
    // The default profile is off the record in Qt 6 and lives until the
    // application object goes, after every page of the window.
    QWebEngineProfile *profile = QWebEngineProfile::defaultProfile();
    if (StreamPage::isInstalled(profile))
        return;
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    StreamPage::installResources(profile);
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
        [](QWebEngineDownloadRequest *download) {
            if (auto *page = qobject_cast<SilentPage *>(download->page()))
                emit page->offeredAsDownload(download->url(), download->mimeType().toUtf8());
            download->cancel();
        });
}

} // namespace WebEnvironment
