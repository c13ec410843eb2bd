#pragma once

#include <QObject>
#include <QString>

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

    static constexpr qint16 TimeoutSeconds = 15;

    // localVersion is "major.minor" of the running program.
    VersionCheck(const QString &vendorSite, const QString &localVersion, QObject *parent = nullptr);

    static Verdict verdict(const QString &localVersion, const QString &serverVersion);

    QString versionFileUrl() const;
    QString localVersion() const { return m_localVersion; }
    // What the version file held; empty until the check has finished.
    QString serverVersion() const { return m_serverVersion; }

    void start();

signals:
    void finished(VersionCheck::Verdict verdict);

private:
    QString m_vendorSite;
    QString m_localVersion;
    QString m_serverVersion;
    TextFetch *m_fetch;
};
