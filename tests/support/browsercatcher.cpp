#include "browsercatcher.h"

#include <QDesktopServices>

BrowserCatcher::BrowserCatcher(QObject *parent) : QObject(parent)
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
}

BrowserCatcher::~BrowserCatcher()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}
