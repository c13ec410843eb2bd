#include "channellistcheck.h"
#include "guide/channellist.h"
#include "guide/channelmodel.h"
#include "net/weburl.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

class tst_ChannelList : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void limits_data();
    void limits();
    void playableUrl_data();
    void playableUrl();
    void fuzzCorpus_data();
    void fuzzCorpus();
    void model_data();
    void model();
};

using Names = QStringList;

void tst_ChannelList::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Names>("names");
    QTest::addColumn<Names>("urls");

    QTest::newRow("CR LF list with trailing break")
        << QStringLiteral("A;u1\r\nB;u2\r\n") << Names {"A", "B"} << Names {"u1", "u2"};
    QTest::newRow("no trailing break")
        << QStringLiteral("A;u1\r\nB;u2") << Names {"A", "B"} << Names {"u1", "u2"};
    QTest::newRow("LF only") << QStringLiteral("A;u1\nB;u2\nC;u3\n") << Names {"A", "B", "C"}
                             << Names {"u1", "u2", "u3"};
    QTest::newRow("lone CR") << QStringLiteral("A;u1\rB;u2\r") << Names {"A", "B"}
                             << Names {"u1", "u2"};
    QTest::newRow("mixed breaks") << QStringLiteral("A;u1\r\nB;u2\nC;u3\rD;u4")
                                  << Names {"A", "B", "C", "D"} << Names {"u1", "u2", "u3", "u4"};
    QTest::newRow("empty line ends the list")
        << QStringLiteral("A;u1\r\nB;u2;x\r\n\r\nC;u3") << Names {"A", "B"} << Names {"u1", "u2;x"};
    QTest::newRow("CR CR is an empty line")
        << QStringLiteral("A;u1\r\rB;u2") << Names {"A"} << Names {"u1"};
    QTest::newRow("empty url") << QStringLiteral("x;") << Names {"x"} << Names {""};
    QTest::newRow("empty name") << QStringLiteral(";x") << Names {""} << Names {"x"};
    QTest::newRow("further separators belong to the url")
        << QStringLiteral("a;b;c") << Names {"a"} << Names {"b;c"};
    QTest::newRow("blanks kept") << QStringLiteral(" a ; b ") << Names {" a "} << Names {" b "};
    QTest::newRow("title line loads nothing")
        << QStringLiteral("节目表\r\nA;u1\r\nB;u2") << Names {} << Names {};
    QTest::newRow("no separator at all")
        << QStringLiteral("hello\r\nworld") << Names {} << Names {};
    QTest::newRow("empty text") << QString() << Names {} << Names {};
    QTest::newRow("break first") << QStringLiteral("\r\nA;u1") << Names {} << Names {};
    QTest::newRow("chinese names")
        << QStringLiteral("栎川一台;http://h/1\r\n新闻频道;http://h/2\r\n")
        << Names {"栎川一台", "新闻频道"} << Names {"http://h/1", "http://h/2"};
    QTest::newRow("NUL inside a name")
        << QString::fromUtf16(u"a\u0000b;u\r\nc;d", 10)
        << Names {QString::fromUtf16(u"a\u0000b", 3), "c"} << Names {"u", "d"};
    QTest::newRow("tab and blanks only line ends nothing early")
        << QStringLiteral("A;1\r\n \t;2\r\n") << Names {"A", " \t"} << Names {"1", "2"};
}

void tst_ChannelList::parse()
{
    QFETCH(QString, text);
    QFETCH(Names, names);
    QFETCH(Names, urls);

    const ChannelListParse r = ChannelList::parse(text);
    Names gotNames, gotUrls;
    for (const ChannelEntry &e : r.entries) {
        gotNames << e.name;
        gotUrls << e.url;
        QVERIFY(!e.name.contains(u'\r') && !e.name.contains(u'\n'));
        QVERIFY(!e.url.contains(u'\r') && !e.url.contains(u'\n'));
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotUrls, urls);
    QVERIFY(!r.hitLimit);
}

void tst_ChannelList::limits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("hitLimit");

    auto lines = [](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QStringLiteral("c%1;http://h/%1\r\n").arg(i);
        return s;
    };
    QTest::newRow("32767 entries fit") << lines(32767) << 32767 << false;
    QTest::newRow("the 32768th entry is refused") << lines(32768) << 32767 << true;
    QTest::newRow("40000 entries stop at the limit") << lines(40000) << 32767 << true;
    QTest::newRow("separator at position 32766 fits")
        << QString(32765, u'n') + QStringLiteral(";u") << 1 << false;
    QTest::newRow("separator at position 32767 ends the list")
        << QStringLiteral("a;b\r\n") + QString(32766, u'n') + QStringLiteral(";u\r\nc;d") << 1
        << true;
    QTest::newRow("10 MB single line without separator")
        << QString(10 * 1024 * 1024, u'x') << 0 << false;
    QTest::newRow("separator far into a long line")
        << QString(5 * 1024 * 1024, u'x') + QStringLiteral(";u") << 0 << true;
}

void tst_ChannelList::limits()
{
    QFETCH(QString, text);
    QFETCH(int, entries);
    QFETCH(bool, hitLimit);

    const ChannelListParse r = ChannelList::parse(text);
    QCOMPARE(r.entries.size(), entries);
    QCOMPARE(r.hitLimit, hitLimit);
}

void tst_ChannelList::playableUrl_data()
{
    QTest::addColumn<QString>("text");
    // What the player is sent to; empty when nothing may be loaded.
    QTest::addColumn<QString>("loaded");

    QTest::newRow("http") << "http://127.0.0.1:18086/tv/01.htm"
                          << "http://127.0.0.1:18086/tv/01.htm";
    QTest::newRow("https") << "https://tv.example.com/live?id=3"
                           << "https://tv.example.com/live?id=3";
    QTest::newRow("upper-case scheme") << "HTTP://example.com/"
                                       << "http://example.com/";
    // Vendors' lists hold what a browser's address bar takes.
    QTest::newRow("blank in the query") << "http://host/ch/6.htm?n=a b"
                                        << "http://host/ch/6.htm?n=a%20b";
    QTest::newRow("blank in the path") << "http://host/my ch/6.htm"
                                       << "http://host/my%20ch/6.htm";
    QTest::newRow("bar in the query") << "http://host/ch/7.htm?a|b"
                                      << "http://host/ch/7.htm?a%7Cb";
    QTest::newRow("Chinese in the path") << "http://host/频道/1.htm"
                                         << "http://host/%E9%A2%91%E9%81%93/1.htm";
    QTest::newRow("fragment kept") << "http://host/player.htm#cctv1"
                                   << "http://host/player.htm#cctv1";
    QTest::newRow("leading blank") << " http://example.com/"
                                   << "http://example.com/";
    QTest::newRow("trailing blank and tab") << "http://example.com/a \t"
                                            << "http://example.com/a";
    QTest::newRow("LF prefixed") << "\nhttp://example.com/"
                                 << "http://example.com/";
    QTest::newRow("line break inside") << "http://exam\nple.com/"
                                       << "http://example.com/";

    QTest::newRow("file") << "file:///etc/passwd"
                          << "";
    QTest::newRow("javascript") << "javascript:alert(1)"
                                << "";
    QTest::newRow("javascript behind blanks") << "  javascript:alert(1)"
                                              << "";
    QTest::newRow("data") << "data:text/html,<script>alert(1)</script>"
                          << "";
    QTest::newRow("view-source") << "view-source:http://example.com/"
                                 << "";
    QTest::newRow("qrc") << "qrc:/images/logo.jpg"
                         << "";
    QTest::newRow("chrome") << "chrome://gpu"
                            << "";
    QTest::newRow("about") << "about:blank"
                           << "";
    QTest::newRow("ftp") << "ftp://example.com/a.mp4"
                         << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blanks only") << "  \t "
                                 << "";
    QTest::newRow("relative") << "/tv/01.htm"
                              << "";
    QTest::newRow("no scheme") << "example.com/tv/01.htm"
                               << "";
    QTest::newRow("no host") << "http:///x"
                             << "";
    QTest::newRow("space in host") << "http://exa mple.com/"
                                   << "";
}

void tst_ChannelList::playableUrl()
{
    QFETCH(QString, text);
    QFETCH(QString, loaded);
    const QUrl url = WebUrl::fromText(text);
    QCOMPARE(url.toString(QUrl::FullyEncoded), loaded);
}

// Every seed of the fuzzer and every input it ever broke on.
void tst_ChannelList::fuzzCorpus_data()
{
    QTest::addColumn<QString>("file");
    int cases = 0;
    for (const char *dir : {"corpus/channellist", "regressions/channellist"}) {
        const QDir d(QStringLiteral(FUZZ_DIR "/") + QLatin1String(dir));
        for (const QFileInfo &f : d.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
            QTest::newRow(qPrintable(QLatin1String(dir) + u'/' + f.fileName())) << f.filePath();
            ++cases;
        }
    }
    QVERIFY2(cases > 0, "the fuzzer's corpus is missing");
}

void tst_ChannelList::fuzzCorpus()
{
    QFETCH(QString, file);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString problem = ChannelListCheck::violation(ChannelListCheck::decode(f.readAll()));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_ChannelList::model_data()
{
    // Texts loaded one after another, as the loader appends them.
    QTest::addColumn<QStringList>("loads");
    QTest::addColumn<Names>("names");
    QTest::addColumn<Names>("urls");

    QTest::newRow("nothing loaded") << QStringList {} << Names {} << Names {};
    QTest::newRow("one list") << QStringList {"A;u1\r\nB;u2\r\n"} << Names {"A", "B"}
                              << Names {"u1", "u2"};
    QTest::newRow("a second list goes after the first") << QStringList {
        "A;u1\r\nB;u2", "C;u3"} << Names {"A", "B", "C"} << Names {"u1", "u2", "u3"};
    QTest::newRow("an empty list between adds nothing")
        << QStringList {"A;u1", "title\r\nX;ux", "B;u2"} << Names {"A", "B"} << Names {"u1", "u2"};
    QTest::newRow("empty names and urls are rows too")
        << QStringList {";u1\r\nx;\r\n ; "} << Names {"", "x", " "} << Names {"u1", "", " "};
    QTest::newRow("same name twice stays twice")
        << QStringList {"A;u1\r\nA;u2"} << Names {"A", "A"} << Names {"u1", "u2"};
}

void tst_ChannelList::model()
{
    QFETCH(QStringList, loads);
    QFETCH(Names, names);
    QFETCH(Names, urls);

    ChannelModel model;
    // Fails the test on any breach of the item-model contract.
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    int batches = 0;
    for (const QString &text : loads) {
        const QList<ChannelEntry> entries = ChannelList::parse(text).entries;
        const int before = model.rowCount();
        model.append(entries);
        if (entries.isEmpty())
            continue;
        // One insertion per load, at the end, so a view lays the list out once.
        ++batches;
        QCOMPARE(inserted.size(), batches);
        QCOMPARE(inserted.last().at(1).toInt(), before);
        QCOMPARE(inserted.last().at(2).toInt(), model.rowCount() - 1);
    }
    QCOMPARE(inserted.size(), batches);

    QCOMPARE(model.rowCount(), names.size());
    Names gotNames, gotUrls;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        gotNames << index.data(Qt::DisplayRole).toString();
        gotUrls << index.data(ChannelModel::UrlRole).toString();
        QCOMPARE(model.entry(row), (ChannelEntry {gotNames.last(), gotUrls.last()}));
        // Rows are picked and shown, never edited in place.
        QVERIFY(!(model.flags(index) & Qt::ItemIsEditable));
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotUrls, urls);
    // Past either end there is no channel.
    QCOMPARE(model.entry(-1), ChannelEntry {});
    QCOMPARE(model.entry(model.rowCount()), ChannelEntry {});
    QVERIFY(!model.data(model.index(model.rowCount(), 0)).isValid());
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);

    // A refresh empties it in one reset and loading starts over from row 0.
    model.clear();
    QCOMPARE(reset.size(), 1);
    QCOMPARE(model.rowCount(), 0);
    model.append(ChannelList::parse(QStringLiteral("N;un")).entries);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("N"));
    QCOMPARE(model.index(0, 0).data(ChannelModel::UrlRole).toString(), QStringLiteral("un"));
}

QTEST_GUILESS_MAIN(tst_ChannelList)
#include "tst_channellist.moc"
