#pragma once

#include "silentpage.h"

#include <QUrl>

#include <functional>

// The hidden page that downloads the channel list: the one owner that loads
// it, loads it again, reads it and unloads it. It never lays out a plain
// text document: the list is only read, never looked at, and laying out a
// hostile multi-megabyte line can exhaust the renderer.
class ListPage : public SilentPage {
    Q_OBJECT
public:
    explicit ListPage(const QUrl &listUrl, QObject *parent = nullptr);

    // Starts the renderer on an empty document, so the list's own load later
    // does not wait for a process to start.
    void warmUp();
    // Downloads the list.
    void fetch();
    // Downloads it again, past any cached copy.
    void refresh();

    // The body text of the current document, as innerText gives it; empty
    // when there is no body. Answered asynchronously, in call order.
    void readBodyText(const std::function<void(const QString &)> &callback);

signals:
    // A list document arrived: its body text, which holds a ";". Failed
    // loads (unreachable host, error status) never count, even when the
    // error page happens to hold one. The page unloads right after.
    void listArrived(const QString &bodyText);
    // A fetch ended without a list: it failed, or the body held no ";".
    void listUnavailable();

private:
    void loaded(bool ok);

    QUrl m_listUrl;
    // Bumped on every load the page starts, so a body read for an earlier
    // document is never reported after a newer one has begun.
    quint64 m_generation = 0;
};
