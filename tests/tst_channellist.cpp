#include "channellistcheck.h"
#include "guide/channellist.h"

#include <QDir>
#include <QTest>

class tst_ChannelList : public QObject
{
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
};

using Names = QStringList;

void tst_ChannelList::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Names>("names");
    QTest::addColumn<Names>("urls");

    QTest::newRow("CR LF list with trailing break")
        << QStringLiteral("A;u1\r\nB;u2\r\n") << Names{"A", "B"} << Names{"u1", "u2"};
    QTest::newRow("no trailing break") << QStringLiteral("A;u1\r\nB;u2") << Names{"A", "B"}
                                       << Names{"u1", "u2"};
    QTest::newRow("LF only") << QStringLiteral("A;u1\nB;u2\nC;u3\n") << Names{"A", "B", "C"}
                             << Names{"u1", "u2", "u3"};
    QTest::newRow("lone CR") << QStringLiteral("A;u1\rB;u2\r") << Names{"A", "B"}
                             << Names{"u1", "u2"};
    QTest::newRow("mixed breaks") << QStringLiteral("A;u1\r\nB;u2\nC;u3\rD;u4")
                                  << Names{"A", "B", "C", "D"} << Names{"u1", "u2", "u3", "u4"};
    QTest::newRow("empty line ends the list")
        << QStringLiteral("A;u1\r\nB;u2;x\r\n\r\nC;u3") << Names{"A", "B"} << Names{"u1", "u2;x"};
    QTest::newRow("CR CR is an empty line") << QStringLiteral("A;u1\r\rB;u2") << Names{"A"}
                                            << Names{"u1"};
    QTest::newRow("empty url") << QStringLiteral("x;") << Names{"x"} << Names{""};
    QTest::newRow("empty name") << QStringLiteral(";x") << Names{""} << Names{"x"};
    QTest::newRow("further separators belong to the url")
        << QStringLiteral("a;b;c") << Names{"a"} << Names{"b;c"};
    QTest::newRow("blanks kept") << QStringLiteral(" a ; b ") << Names{" a "} << Names{" b "};
    QTest::newRow("title line loads nothing")
        << QStringLiteral("节目表\r\nA;u1\r\nB;u2") << Names{} << Names{};
    QTest::newRow("no separator at all") << QStringLiteral("hello\r\nworld") << Names{} << Names{};
    QTest::newRow("empty text") << QString() << Names{} << Names{};
    QTest::newRow("break first") << QStringLiteral("\r\nA;u1") << Names{} << Names{};
    QTest::newRow("chinese names")
        << QStringLiteral("栎川一台;http://h/1\r\n新闻频道;http://h/2\r\n") << Names{"栎川一台", "新闻频道"}
        << Names{"http://h/1", "http://h/2"};
    QTest::newRow("NUL inside a name")
        << QString::fromUtf16(u"a\u0000b;u\r\nc;d", 10) << Names{QString::fromUtf16(u"a\u0000b", 3), "c"}
        << Names{"u", "d"};
    QTest::newRow("tab and blanks only line ends nothing early")
        << QStringLiteral("A;1\r\n \t;2\r\n") << Names{"A", " \t"} << Names{"1", "2"};
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
    QTest::newRow("10 MB single line without separator") << QString(10 * 1024 * 1024, u'x') << 0
                                                         << false;
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
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("playable");

    QTest::newRow("http") << "http://127.0.0.1:18086/tv/01.htm" << true;
    QTest::newRow("https") << "https://tv.example.com/live?id=3" << true;
    QTest::newRow("upper-case scheme") << "HTTP://example.com/" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("data") << "data:text/html,<script>alert(1)</script>" << false;
    QTest::newRow("view-source") << "view-source:http://example.com/" << false;
    QTest::newRow("qrc") << "qrc:/images/logo.jpg" << false;
    QTest::newRow("chrome") << "chrome://gpu" << false;
    QTest::newRow("about") << "about:blank" << false;
    QTest::newRow("ftp") << "ftp://example.com/a.mp4" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("relative") << "/tv/01.htm" << false;
    QTest::newRow("no host") << "http:///x" << false;
    QTest::newRow("space in host") << "http://exa mple.com/" << false;
    QTest::newRow("leading blank") << " http://example.com/" << false;
    QTest::newRow("LF prefixed") << "\nhttp://example.com/" << false;
}

void tst_ChannelList::playableUrl()
{
    QFETCH(QString, url);
    QFETCH(bool, playable);
    QCOMPARE(ChannelList::isPlayableUrl(url), playable);
}

// Every seed of the fuzzer and every input it ever broke on.
void tst_ChannelList::fuzzCorpus_data()
{
    QTest::addColumn<QString>("file");
    int cases = 0;
    for (const char *dir : {"corpus", "regressions"}) {
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

QTEST_GUILESS_MAIN(tst_ChannelList)
#include "tst_channellist.moc"
