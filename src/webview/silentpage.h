#pragma once

#include <QWebEnginePage>

// A page that never raises a dialog of its own or of its content: script
// alerts, confirms and prompts, file choosers, authentication, certificate
// questions, pop-up windows and downloads are all answered quietly.
// Without a profile it uses the viewer's (the engine's default profile, set
// up once by WebEnvironment).
class SilentPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit SilentPage(QObject *parent = nullptr);
    SilentPage(QWebEngineProfile *profile, QObject *parent);

signals:
    // An answer of this page's that the engine would only have saved to
    // disk; the download itself is refused.
    void offeredAsDownload(const QUrl &url, const QByteArray &mediaType);

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg,
        const QString &defaultValue, QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
        int lineNumber, const QString &sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
        const QStringList &acceptedMimeTypes) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
};
