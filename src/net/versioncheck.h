#pragma once

#include <QObject>
#include <QString>

#include <chrono>

class TextFetch;

// Compares the running version with the one the vendor publishes in
// "/version/zavo.txt". The comparison is of whole texts, exactly: a line
// break or blank after the number, or any other spelling, is a difference.
class VersionCheck : public QObject {
    Q_OBJECT
public:
    enum class Verdict {
        Current, // the texts are equal
        Unreachable, // nothing came back (an empty file looks the same)
        Outdated, // something else came back
    };
    Q_ENUM(Verdict)

    static constexpr std::chrono::milliseconds DefaultWait {15000};

    // versionFileUrl holds the vendor's version; localVersion is
    // "major.minor" of the running program. An answer later than wait counts
    // as none.
    VersionCheck(const QString &versionFileUrl, const QString &localVersion,
        std::chrono::milliseconds wait = DefaultWait, QObject *parent = nullptr);

    static Verdict verdict(const QString &localVersion, const QString &serverVersion);

    QString versionFileUrl() const { return m_versionFileUrl; }
    QString localVersion() const { return m_localVersion; }
    // What the version file held; empty until the check has finished.
    QString serverVersion() const { return m_serverVersion; }

    void start();

signals:
    void finished(VersionCheck::Verdict verdict);

private:
    QString m_versionFileUrl;
    QString m_localVersion;
    QString m_serverVersion;
    TextFetch *m_fetch;
};
