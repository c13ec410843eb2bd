#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the system browser for http and https while it lives, so no
// test opens a real one.
class BrowserCatcher : public QObject {
    Q_OBJECT
public:
    explicit BrowserCatcher(QObject *parent = nullptr);
    ~BrowserCatcher() override;
    QStringList opened;
public slots:
    void open(const QUrl &url) { opened << url.toString(); }
};
