#pragma once

// What network tests share: the build's version, a closed port, header counts.

#include "appinfo.h"
#include "vendorserver.h"

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

// "major.minor" of this build, as the window hands it to the version check.
inline QString buildVersion()
{
    return QStringLiteral("%1.%2").arg(AppInfo::Major).arg(AppInfo::Minor);
}

// A local port nothing listens on.
inline quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// How often a request carried the header name (any case).
inline int countHeader(const VendorServer::Request &request, const QByteArray &name)
{
    int n = 0;
    for (const auto &h : request.headers)
        n += h.first.compare(name, Qt::CaseInsensitive) == 0;
    return n;
}
