#pragma once

#include <QWebEnginePage>

// A page that never raises a dialog of its own or of its content: script
// alerts, confirms and prompts, file choosers, authentication, certificate
// questions, pop-up windows and downloads are all answered quietly.
class SilentPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit SilentPage(QWebEngineProfile *profile, QObject *parent = nullptr);

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

// The profile every view of the window uses: off the record, so the viewer
// keeps no files, and with every engine-level dialog (downloads) refused.
QWebEngineProfile *viewerProfile();

// Applies the settings all three views share.
void applyCommonSettings(QWebEnginePage *page);
