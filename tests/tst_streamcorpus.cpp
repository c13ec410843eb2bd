#include "streamchecks.h"

#include <QDir>
#include <QTest>

#include <map>

// Every input the stream readers' fuzzers kept, and every one they ever
// broke on, still meets its reader's promises.
class tst_StreamCorpus : public QObject {
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        for (const auto &[target, check] : checks()) {
            int cases = 0;
            for (const char *dir : {"corpus", "regressions"}) {
                const QDir d(QStringLiteral(FUZZ_DIR "/%1/%2").arg(dir, target));
                for (const QFileInfo &f : d.entryInfoList(QDir::Files, QDir::Name)) {
                    QTest::newRow(
                        qPrintable(QStringLiteral("%1/%2/%3").arg(dir, target, f.fileName())))
                        << target << f.filePath();
                    ++cases;
                }
            }
            QVERIFY2(cases > 0, qPrintable("no corpus for " + target));
        }
    }
    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString problem = checks().at(target)(f.readAll());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

private:
    static const std::map<QString, QString (*)(const QByteArray &)> &checks()
    {
        static const std::map<QString, QString (*)(const QByteArray &)> all {
            {"ts", StreamChecks::ts}, {"flv", StreamChecks::flv}, {"hls", StreamChecks::hls},
            {"rtp", StreamChecks::rtp}, {"requesthead", StreamChecks::requestHead},
            {"headerlist", StreamChecks::headerList}};
        return all;
    }
};

QTEST_APPLESS_MAIN(tst_StreamCorpus)
#include "tst_streamcorpus.moc"
