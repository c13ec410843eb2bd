#pragma once

#include <QString>

// The vendor's web site: scheme and host, and the six addresses the viewer
// reads from it. The one place that knows them.
class VendorSite {
public:
    // Trailing slashes of base are dropped.
    explicit VendorSite(QString base = {});

    // The site itself, opened in the browser from the logo.
    QString home() const { return m_base; }
    // The channel list, "name;url" lines.
    QString channelList() const { return m_base + QStringLiteral("/zavo/list.txt"); }
    // The current version, "major.minor".
    QString versionFile() const { return m_base + QStringLiteral("/version/zavo.txt"); }
    // What the player shows when nothing plays.
    QString stopPage() const { return m_base + QStringLiteral("/zavomsg.htm"); }
    QString notices() const { return m_base + QStringLiteral("/msg.htm"); }
    // The navigation page the home-page offer makes the browser's start page.
    QString navigationPage() const { return m_base + QStringLiteral("/dh.htm"); }
    QString feedback() const { return m_base + QStringLiteral("/writebook.asp"); }

private:
    QString m_base;
};
