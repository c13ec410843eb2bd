#include "versioncheck.h"

#include "textfetch.h"

VersionCheck::VersionCheck(const QString &versionFileUrl, const QString &localVersion,
    std::chrono::milliseconds wait, QObject *parent)
    : QObject(parent), m_versionFileUrl(versionFileUrl), m_localVersion(localVersion),
      m_fetch(new TextFetch(wait, this))
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

void VersionCheck::start()
{
    // A check run again must not report the text of the run before.
    m_serverVersion.clear();
    m_fetch->start(m_versionFileUrl);
}
