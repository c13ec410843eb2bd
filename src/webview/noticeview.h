#pragma once

#include <QWebEngineView>

// The notice view: a silent page with the engine's normal context menu.
// Links that ask for a new window open in the system browser.
class NoticeView : public QWebEngineView {
    Q_OBJECT
public:
    explicit NoticeView(QWidget *parent = nullptr);
};
