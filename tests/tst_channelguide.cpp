// The channel guide without a display: stepping through the channels, which
// addresses reach the player, and loading the list.

#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "guide/channelnames.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using Texts = QStringList;
using Counts = QList<int>;

static const QString Site = QStringLiteral("http://vendor.test");
static const QString Failed = QStringLiteral("电视节目表单更新失败");
// In a run of loads: the list emptied, as the update does before it loads.
static const QString Refresh = QStringLiteral("(refresh)");

// n channels at Site/ch/0 ... Site/ch/<n-1>.
static QString channels(int n)
{
    QString text;
    for (int i = 0; i < n; ++i)
        text += QStringLiteral("频道%1;%2/ch/%1\r\n").arg(i).arg(Site);
    return text;
}

static int selectedRow(const ChannelGuide &guide)
{
    const QModelIndexList rows = guide.selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

class tst_ChannelGuide : public QObject {
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
    void addresses_data();
    void addresses();
    void loadList_data();
    void loadList();
    void sameChannel_data();
    void sameChannel();
    void failOver_data();
    void failOver();
};

void tst_ChannelGuide::keys_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("selected"); // -1: none
    QTest::addColumn<int>("current"); // made current without being selected, as focus does
    QTest::addColumn<Texts>("keys");
    QTest::addColumn<Texts>("shown"); // below Site
    QTest::addColumn<int>("after"); // the selected (and current) row at the end

    QTest::newRow("+ from the third of five") << 5 << 2 << -1 << Texts {"+"} << Texts {"ch/3"} << 3;
    QTest::newRow("- from the third of five") << 5 << 2 << -1 << Texts {"-"} << Texts {"ch/1"} << 1;
    QTest::newRow("+ wraps from the last") << 5 << 4 << -1 << Texts {"+"} << Texts {"ch/0"} << 0;
    QTest::newRow("- wraps from the first") << 5 << 0 << -1 << Texts {"-"} << Texts {"ch/4"} << 4;
    QTest::newRow("+ and - with one channel")
        << 1 << 0 << -1 << Texts {"+", "-"} << Texts {"ch/0", "ch/0"} << 0;
    QTest::newRow("Watch keeps the selection")
        << 5 << 3 << -1 << Texts {"Watch"} << Texts {"ch/3"} << 3;
    QTest::newRow("Watch with nothing selected plays the first")
        << 5 << -1 << -1 << Texts {"Watch"} << Texts {"ch/0"} << 0;
    QTest::newRow("+ with nothing selected plays the first")
        << 5 << -1 << -1 << Texts {"+"} << Texts {"ch/0"} << 0;
    QTest::newRow("- with nothing selected plays the last")
        << 5 << -1 << -1 << Texts {"-"} << Texts {"ch/4"} << 4;
    QTest::newRow("a current row alone is no channel: Watch")
        << 4 << -1 << 2 << Texts {"Watch"} << Texts {"ch/0"} << 0;
    QTest::newRow("a current row alone is no channel: +")
        << 4 << -1 << 2 << Texts {"+"} << Texts {"ch/0"} << 0;
    QTest::newRow("a current row alone is no channel: -")
        << 4 << -1 << 2 << Texts {"-"} << Texts {"ch/3"} << 3;
    QTest::newRow("Page Down and Page Up step and wrap")
        << 4 << 1 << -1 << Texts {"Page Down", "Page Up", "Page Up", "Page Up"}
        << Texts {"ch/2", "ch/1", "ch/0", "ch/3"} << 3;
    QTest::newRow("every play shows again, the same channel too")
        << 1 << 0 << -1 << Texts {"Watch", "Watch", "+", "Page Down"}
        << Texts {"ch/0", "ch/0", "ch/0", "ch/0"} << 0;
    QTest::newRow("selecting alone shows nothing") << 3 << 2 << -1 << Texts {} << Texts {} << 2;
    QTest::newRow("Stop shows the vendor's page and keeps the selection")
        << 3 << 1 << -1 << Texts {"Watch", "Stop", "Watch"} << Texts {"ch/1", "zavomsg.htm", "ch/1"}
        << 1;
    QTest::newRow("an empty list plays nothing; Stop still works")
        << 0 << -1 << -1 << Texts {"Watch", "+", "-", "Page Up", "Page Down", "Stop"}
        << Texts {"zavomsg.htm"} << -1;
    QTest::newRow("a refresh drops the selection; nothing plays until the list is back")
        << 5 << 2 << -1 << Texts {"Refresh", "Watch", "+", "-", "Page Down", "List", "Watch"}
        << Texts {"ch/0"} << 0;
}

void tst_ChannelGuide::keys()
{
    QFETCH(int, count);
    QFETCH(int, selected);
    QFETCH(int, current);
    QFETCH(Texts, keys);
    QFETCH(Texts, shown);
    QFETCH(int, after);

    ChannelGuide guide {VendorSite(Site)};
    guide.loadList(channels(count));
    QItemSelectionModel *selection = guide.selectionModel();
    if (selected >= 0)
        selection->setCurrentIndex(
            guide.model()->index(selected, 0), QItemSelectionModel::ClearAndSelect);
    if (current >= 0)
        selection->setCurrentIndex(guide.model()->index(current, 0), QItemSelectionModel::NoUpdate);

    const QHash<QString, std::function<void()>> press {
        {"Watch", [&] { guide.playSelected(); }},
        {"+", [&] { guide.next(); }},
        {"-", [&] { guide.previous(); }},
        {"Page Up", [&] { guide.step(-1); }},
        {"Page Down", [&] { guide.step(+1); }},
        {"Stop", [&] { guide.stop(); }},
        {"Refresh", [&] { guide.clear(); }},
        {"List", [&] { guide.loadList(channels(count)); }},
    };
    QSignalSpy show(&guide, &ChannelGuide::showRequested);
    for (const QString &key : keys)
        press.value(key)();

    Texts got;
    for (const QList<QVariant> &s : show)
        got << s.at(0).toUrl().toString();
    for (QString &s : shown)
        s.prepend(Site + u'/');
    QCOMPARE(got, shown);
    QCOMPARE(selectedRow(guide), after);
    // The list's cursor moves with the channel, as a click there would.
    QCOMPARE(selection->currentIndex().row(), after);
}

void tst_ChannelGuide::addresses_data()
{
    // The first channel's address in the list, and what the player is sent
    // to, or why it is refused.
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("shown"); // empty: refused
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("headers"); // "Name: value" lines sent with it

    const QString invalid = QStringLiteral("地址无效");
    QTest::newRow("file") << "file:///etc/passwd" << QString() << "不支持的地址（FILE）"
                          << QString();
    QTest::newRow("javascript") << "javascript:document.title='owned'" << QString()
                                << "不支持的地址（JAVASCRIPT）" << QString();
    QTest::newRow("data") << "data:text/html,<h1>x</h1>" << QString() << "不支持的地址（DATA）"
                          << QString();
    QTest::newRow("rtsp") << "rtsp://10.0.0.1:554/live" << QString() << "不支持的地址（RTSP）"
                          << QString();
    QTest::newRow("rtmp") << "rtmp://live.tv.test/app/ch1" << QString() << "不支持的地址（RTMP）"
                          << QString();
    QTest::newRow("mms") << "mms://tv.test/ch" << QString() << "不支持的地址（MMS）" << QString();
    QTest::newRow("ftp") << "ftp://tv.test/a.ts" << QString() << "不支持的地址（FTP）" << QString();
    QTest::newRow("empty") << "" << QString() << invalid << QString();
    QTest::newRow("a list cut short: http") << "http" << QString() << invalid << QString();
    QTest::newRow("no host") << "http://" << QString() << invalid << QString();
    QTest::newRow("blank in the host")
        << "http://exa mple.com/" << QString() << invalid << QString();
    QTest::newRow("blank in the query") << "http://tv.test/ch?n=a b"
                                        << "http://tv.test/ch?n=a%20b" << QString() << QString();
    QTest::newRow("bar in the query") << "http://tv.test/ch?a|b"
                                      << "http://tv.test/ch?a%7Cb" << QString() << QString();
    QTest::newRow("trailing blank") << "http://tv.test/ch?x=1 "
                                    << "http://tv.test/ch?x=1" << QString() << QString();
    QTest::newRow("udp multicast") << "udp://@239.1.1.1:5000"
                                   << "udp://@239.1.1.1:5000" << QString() << QString();
    QTest::newRow("rtp with source") << "rtp://10.0.0.9@239.1.1.1:5000"
                                     << "rtp://10.0.0.9@239.1.1.1:5000" << QString() << QString();
    QTest::newRow("udp with a host name")
        << "udp://@tv.test:5000" << QString() << invalid << QString();
    QTest::newRow("udp without port") << "udp://@239.1.1.1" << QString() << invalid << QString();
    QTest::newRow("headers")
        << "http://tv.test/a.m3u8|User-Agent=Box%2F1.0&Referer=http%3A%2F%2Ftv.test%2F"
        << "http://tv.test/a.m3u8" << QString() << "User-Agent: Box/1.0\nReferer: http://tv.test/";
    QTest::newRow("header with a line break")
        << "http://tv.test/a|X-A=1%0D%0AHost:evil"
        << "http://tv.test/a%7CX-A=1%0D%0AHost:evil" << QString() << QString();
    QTest::newRow("framing fields dropped") << "http://tv.test/a|Host=evil&Cookie=k%3Dv"
                                            << "http://tv.test/a" << QString() << "Cookie: k=v";
    QTest::newRow("no field name") << "http://tv.test/a|=b"
                                   << "http://tv.test/a%7C=b" << QString() << QString();
    QTest::newRow("headers after a bar in the query")
        << "http://tv.test/ch?a|b|Referer=x"
        << "http://tv.test/ch?a%7Cb" << QString() << "Referer: x";
    QTest::newRow("udp with headers") << "udp://@239.1.1.1:5000|User-Agent=x"
                                      << "udp://@239.1.1.1:5000" << QString() << "User-Agent: x";
}

void tst_ChannelGuide::addresses()
{
    QFETCH(QString, url);
    QFETCH(QString, shown);
    QFETCH(QString, refusal);
    QFETCH(QString, headers);

    ChannelGuide guide {VendorSite(Site)};
    guide.loadList(QStringLiteral("一台;%1\r\n二台;%2/ch/1\r\n").arg(url, Site));
    QSignalSpy show(&guide, &ChannelGuide::showRequested);
    QSignalSpy refused(&guide, &ChannelGuide::playRefused);
    guide.playSelected();
    QCOMPARE(selectedRow(guide), 0);
    // A refused channel is stepped past like any other.
    guide.next();
    Texts got;
    for (const QList<QVariant> &s : show)
        got << s.at(0).toUrl().toString(QUrl::FullyEncoded);
    QCOMPARE(got, (shown.isEmpty() ? Texts {} : Texts {shown}) << Site + "/ch/1");
    Texts sent;
    for (const auto &[name, value] : show.value(0).value(1).value<RequestHeaders>())
        sent << QString::fromUtf8(name + ": " + value);
    QCOMPARE(shown.isEmpty() ? QString() : sent.join(u'\n'), headers);
    Texts reasons;
    for (const QList<QVariant> &s : refused)
        reasons << s.at(0).toString();
    QCOMPARE(reasons, refusal.isEmpty() ? Texts {} : Texts {refusal});
}

void tst_ChannelGuide::loadList_data()
{
    QTest::addColumn<Texts>("loads");
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<Texts>("captions");

    QTest::newRow("a list") << Texts {"A;u1\r\nB;u2"} << Counts {2} << Texts {"电视节目表单 2"};
    QTest::newRow("a title line: no list")
        << Texts {"节目表\r\nA;u1\r\n"} << Counts {0} << Texts {Failed};
    QTest::newRow("a second list goes after the first") << Texts {
        "A;u1", "B;u2\r\nC;u3"} << Counts {1, 3} << Texts {"电视节目表单 1", "电视节目表单 3"};
    QTest::newRow("no list after one keeps the count")
        << Texts {"A;u1", "x"} << Counts {1, 1} << Texts {"电视节目表单 1", "电视节目表单 1"};
    QTest::newRow("a refresh empties without a caption") << Texts {"A;u1\r\nB;u2", Refresh,
        "C;u3"} << Counts {2, 1} << Texts {"电视节目表单 2", "电视节目表单 1"};
    QTest::newRow("32767 channels across loads, never more")
        << Texts {channels(32000), channels(1000), "A;u"} << Counts {32000, 32767, 32767}
        << Texts {"电视节目表单 32000", "电视节目表单 32767", "电视节目表单 32767"};
    QTest::newRow("a refresh starts the count over") << Texts {channels(32767), Refresh,
        channels(3)} << Counts {32767, 3} << Texts {"电视节目表单 32767", "电视节目表单 3"};
}

void tst_ChannelGuide::loadList()
{
    QFETCH(Texts, loads);
    QFETCH(Counts, counts);
    QFETCH(Texts, captions);

    ChannelGuide guide {VendorSite(Site)};
    QSignalSpy loaded(&guide, &ChannelGuide::listLoaded);
    QSignalSpy caption(&guide, &ChannelGuide::captionChanged);
    QSignalSpy show(&guide, &ChannelGuide::showRequested);
    for (const QString &text : loads)
        text == Refresh ? guide.clear() : guide.loadList(text);

    Counts gotCounts;
    for (const QList<QVariant> &s : loaded)
        gotCounts << s.at(0).toInt();
    Texts gotCaptions;
    for (const QList<QVariant> &s : caption)
        gotCaptions << s.at(0).toString();
    QCOMPARE(gotCounts, counts);
    QCOMPARE(gotCaptions, captions);
    QCOMPARE(guide.channelCount(), counts.last());
    QCOMPARE(guide.model()->rowCount(), counts.last());
    // Loading selects and plays nothing.
    QVERIFY(!guide.selectionModel()->hasSelection());
    QVERIFY(show.isEmpty());
}

void tst_ChannelGuide::sameChannel_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("case and a blank for the hyphen") << "CCTV-5"
                                                     << "cctv 5" << true;
    QTest::newRow("full-width forms") << "CCTV-5"
                                      << "ＣＣＴＶ－５" << true;
    QTest::newRow("ideographic space, Unicode hyphen") << "湖南　卫视‐高清"
                                                       << "湖南卫视高清" << true;
    QTest::newRow("a plus is part of the name") << "CCTV-5"
                                                << "CCTV-5+" << false;
    QTest::newRow("more words are another channel") << "CCTV-5"
                                                    << "CCTV-5体育" << false;
    QTest::newRow("another number") << "CCTV-1"
                                    << "CCTV-10" << false;
}

void tst_ChannelGuide::sameChannel()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QCOMPARE(ChannelNames::sameChannel(a, b), same);
}

// Requests and the player's word on each source, against the rows shown.
void tst_ChannelGuide::failOver_data()
{
    QTest::addColumn<QString>("names"); // one a row; "!" at the end: an address refused
    QTest::addColumn<int>("selected");
    QTest::addColumn<Texts>("events");
    QTest::addColumn<Texts>("shown"); // "row source-line", or "refused"
    QTest::addColumn<int>("after");

    QTest::newRow("a single row: asked for once")
        << "A,B" << 0 << Texts {"Watch", "fail"} << Texts {"0 "} << 0;
    QTest::newRow("each row once, in list order, round past the end")
        << "A,B,A,C,A" << 2 << Texts {"Watch", "fail", "fail", "fail"}
        << Texts {"2 线路 2/3", "4 线路 3/3", "0 线路 1/3"} << 0;
    QTest::newRow("one channel by the name rule")
        << "CCTV-5,CCTV-5+,ｃｃｔｖ－５,cctv 5" << 0 << Texts {"Watch", "fail", "fail"}
        << Texts {"0 线路 1/3", "2 线路 2/3", "3 线路 3/3"} << 3;
    QTest::newRow("Channel + goes on from the row that plays")
        << "A,A,B" << 0 << Texts {"Watch", "fail", "play", "+"}
        << Texts {"0 线路 1/2", "1 线路 2/2", "2 "} << 2;
    QTest::newRow("a new request tries every row again")
        << "A,A,B" << 0 << Texts {"Watch", "fail", "Watch", "fail", "fail"}
        << Texts {"0 线路 1/2", "1 线路 2/2", "1 线路 2/2", "0 线路 1/2"} << 0;
    QTest::newRow("an address the player may not open is passed over")
        << "A,A!,A" << 0 << Texts {"Watch", "fail"} << Texts {"0 线路 1/3", "2 线路 3/3"} << 2;
    QTest::newRow("every address refused: the last one says why")
        << "A!,B,A!" << 0 << Texts {"Watch"} << Texts {"refused"} << 2;
    QTest::newRow("a drop gives way to the next row")
        << "A,A" << 0 << Texts {"Watch", "play", "drop"} << Texts {"0 线路 1/2", "1 线路 2/2"} << 1;
    QTest::newRow("Stop ends the search")
        << "A,A" << 0 << Texts {"Watch", "Stop", "fail"} << Texts {"0 线路 1/2", "stop"} << 0;
    QTest::newRow("a refresh ends the search")
        << "A,A" << 0 << Texts {"Watch", "Refresh", "List", "fail"} << Texts {"0 线路 1/2"} << -1;
}

void tst_ChannelGuide::failOver()
{
    QFETCH(QString, names);
    QFETCH(int, selected);
    QFETCH(Texts, events);
    QFETCH(Texts, shown);
    QFETCH(int, after);

    QString list;
    const Texts rows = names.split(u',');
    for (int i = 0; i < rows.size(); ++i) {
        const bool refused = rows[i].endsWith(u'!');
        list += QStringLiteral("%1;%2\r\n")
                    .arg(refused ? rows[i].chopped(1) : rows[i],
                        refused ? QStringLiteral("rtsp://tv.test/%1").arg(i)
                                : QStringLiteral("%1/ch/%2").arg(Site).arg(i));
    }
    ChannelGuide guide {VendorSite(Site)};
    guide.setDropLimit(std::chrono::milliseconds(1));
    guide.loadList(list);
    guide.selectionModel()->setCurrentIndex(
        guide.model()->index(selected, 0), QItemSelectionModel::ClearAndSelect);
    Texts got;
    connect(&guide, &ChannelGuide::showRequested, this,
        [&](const QUrl &url, const RequestHeaders &, const QString &source) {
            const QString path = url.path();
            got << (path.startsWith(QLatin1String("/ch/")) ? path.mid(4) + u' ' + source
                                                           : QStringLiteral("stop"));
        });
    connect(&guide, &ChannelGuide::playRefused, this, [&] { got << QStringLiteral("refused"); });
    QSignalSpy switched(&guide, &ChannelGuide::showRequested);
    const QHash<QString, std::function<void()>> happen {
        {"Watch", [&] { guide.playSelected(); }},
        {"+", [&] { guide.next(); }},
        {"Stop", [&] { guide.stop(); }},
        {"Refresh", [&] { guide.clear(); }},
        {"List", [&] { guide.loadList(list); }},
        {"fail", [&] { guide.sourceFailed(); }},
        {"play", [&] { guide.sourcePlaying(); }},
        {"drop",
            [&] {
                guide.sourceDropped();
                QVERIFY(switched.wait(5000));
            }},
    };
    for (const QString &e : events)
        happen.value(e)();
    QCOMPARE(got, shown);
    QCOMPARE(selectedRow(guide), after);
}

QTEST_GUILESS_MAIN(tst_ChannelGuide)
#include "tst_channelguide.moc"
