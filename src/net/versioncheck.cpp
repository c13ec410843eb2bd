#include "versioncheck.h"

#include "textfetch.h"

VersionCheck::VersionCheck(const QString &vendorSite, const QString &localVersion, QObject *parent)
    : QObject(parent), m_vendorSite(vendorSite), m_localVersion(localVersion),
      m_fetch(new TextFetch(this))
{
    connect(m_fetch, &TextFetch::finished, this, [this](const QString &text) {
        m_serverVersion = text;
        emit finished(verdict(m_localVersion, m_serverVersion));
    });
}

VersionCheck::Verdict VersionCheck::verdict(
    const QString &localVersion, const QString &serverVersion)
{
    if (serverVersion == localVersion)
        return Verdict::Current;
    if (serverVersion.isEmpty())
        return Verdict::Unreachable;
    return Verdict::Outdated;
}

QString VersionCheck::versionFileUrl() const
{
    return m_vendorSite + QStringLiteral("/version/zavo.txt");
}

void VersionCheck::start()
{
    // A check run again must not report the text of the run before.
    m_serverVersion.clear();
    qint16 timeout = TimeoutSeconds;
    m_fetch->start(versionFileUrl(), QString(), timeout);
}
