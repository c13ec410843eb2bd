#pragma once

#include "silentpage.h"

#include <functional>

// The hidden page that downloads the channel list. It never lays out a plain
// text document: the list is only read, never looked at, and laying out a
// hostile multi-megabyte line can exhaust the renderer.
class ListPage : public SilentPage {
    Q_OBJECT
public:
    explicit ListPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    // The body text of the current document, as innerText gives it; empty
    // when there is no body. Answered asynchronously, in call order.
    void readBodyText(const std::function<void(const QString &)> &callback);
};
