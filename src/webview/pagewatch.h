#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QWebEnginePage;

// What the documents shown in a page say of themselves, told from the
// viewer's own script world through a web channel that the documents'
// scripts cannot reach: how a document that is nothing but text begins,
// and the states and failures of the player's stream page.
class PageWatch : public QObject {
    Q_OBJECT
public:
    // Watches every main-frame document page shows from now on.
    explicit PageWatch(QWebEnginePage *page);

    // The script's look at the document on screen now, as shown() reports
    // it; calls back with bare false for a page with markup or no text
    // document, and when the document cannot be asked.
    void lookNow(
        const std::function<void(const QByteArray &type, const QString &text, bool bare)> &answer);

signals:
    // A document that is nothing but text, with the beginning of its text.
    void shown(const QUrl &url, const QByteArray &mediaType, const QString &text);
    // The stream page at url, shown as page, says so.
    void streamState(const QUrl &url, quint64 page, const QString &state);
    void streamFailure(const QUrl &url, quint64 page, const QString &what);

private:
    QWebEnginePage *m_page;
};
