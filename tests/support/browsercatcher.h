#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the system browser: install it with
// QDesktopServices::setUrlHandler(scheme, catcher, "open").
class BrowserCatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    QStringList opened;
public slots:
    void open(const QUrl &url) { opened << url.toString(); }
};
