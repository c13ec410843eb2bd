#include "silentpage.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QWebEngineCertificateError>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace {

// The settings every page of the viewer shares.
void applyCommonSettings(QWebEnginePage *page)
{
    QWebEngineSettings *s = page->settings();
    // Lists served as text/plain without a charset are mostly UTF-8; GBK
    // lists are still detected by the engine.
    s->setDefaultTextEncoding(QStringLiteral("UTF-8"));
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
}

} // namespace

SilentPage::SilentPage(QObject *parent) : SilentPage(QWebEngineProfile::defaultProfile(), parent)
{
}

SilentPage::SilentPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    applyCommonSettings(this);
    connect(this, &QWebEnginePage::certificateError, this,
        [](QWebEngineCertificateError error) { error.rejectCertificate(); });
    connect(this, &QWebEnginePage::authenticationRequired, this,
        [](const QUrl &, QAuthenticator *auth) { *auth = QAuthenticator(); });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
        [](const QUrl &, QAuthenticator *auth, const QString &) { *auth = QAuthenticator(); });
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
        [this](const QUrl &origin, Feature feature) {
            setFeaturePermission(origin, feature, PermissionDeniedByUser);
        });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
        [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
}

void SilentPage::javaScriptAlert(const QUrl &, const QString &)
{
}

// Also answers the "leave this page?" question, so a channel page can never
// keep the player from switching away.
bool SilentPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return true;
}

bool SilentPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

void SilentPage::javaScriptConsoleMessage(
    JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{
}

QStringList SilentPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &)
{
    return {};
}

QWebEnginePage *SilentPage::createWindow(WebWindowType)
{
    return nullptr;
}
