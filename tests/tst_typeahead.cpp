// Finding a channel by typing, without a display: the readings from Unihan,
// and which row each run of keys selects.

#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "guide/pinyin.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

using Texts = QStringList;

class tst_TypeAhead : public QObject {
    Q_OBJECT
private slots:
    void readings_data();
    void readings();
    void typing_data();
    void typing();
};

void tst_TypeAhead::readings_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<Texts>("readings");

    QTest::newRow("first of the main block") << "一" << Texts {"yi"};
    QTest::newRow("first of extension A") << "㐀" << Texts {"qiu"};
    QTest::newRow("last named in the main block") << "龥" << Texts {"yu"};
    QTest::newRow("common reading first, the others after") << "行" << Texts {"xing", "hang"};
    QTest::newRow("polyphone") << "重" << Texts {"zhong", "chong"};
    QTest::newRow("ü typed as v") << "绿" << Texts {"lv", "lu"};
    QTest::newRow("Latin letter") << "A" << Texts {};
    QTest::newRow("kana") << "の" << Texts {};
}

void tst_TypeAhead::readings()
{
    QFETCH(QString, character);
    QFETCH(Texts, readings);
    Texts found;
    for (const QLatin1String r : Pinyin::readingsOf(character.at(0).unicode()))
        found << r;
    QCOMPARE(found, readings);
}

void tst_TypeAhead::typing_data()
{
    QTest::addColumn<Texts>("names");
    QTest::addColumn<int>("selected"); // before typing; -1: none
    QTest::addColumn<QString>("keys"); // typed one by one, starting afresh
    QTest::addColumn<bool>("found"); // after the last key
    QTest::addColumn<int>("after"); // the selected row at the end

    const Texts satellite {"CCTV-1综合", "湖北卫视", "湖南卫视", "浙江卫视"};
    QTest::newRow("initials") << satellite << -1 << "hnws" << true << 2;
    QTest::newRow("whole syllables") << satellite << -1 << "hunan" << true << 2;
    QTest::newRow("syllables then initials") << satellite << -1 << "hunanws" << true << 2;
    QTest::newRow("two-letter initial") << satellite << -1 << "zhjws" << true << 3;
    QTest::newRow("upper case is typed lower") << satellite << -1 << "cctv1zh" << true << 0;
    QTest::newRow("a character must be typed") << satellite << -1 << "ws" << false << -1;
    QTest::newRow("no match keeps the selection") << satellite << 1 << "hbx" << false << 1;

    const Texts polyphones {"长沙新闻", "重庆卫视"};
    QTest::newRow("重庆 by cq") << polyphones << -1 << "cq" << true << 1;
    QTest::newRow("重庆 by zq") << polyphones << -1 << "zq" << true << 1;
    QTest::newRow("重庆 by chongqing") << polyphones << -1 << "chongqing" << true << 1;
    QTest::newRow("长沙 by zs") << polyphones << -1 << "zs" << true << 0;
    QTest::newRow("长沙 by changsha") << polyphones << -1 << "changsha" << true << 0;

    const Texts cctv {"CCTV-1综合", "CCTV-13新闻", "CCTV-5体育", "CCTV-5+体育赛事"};
    QTest::newRow("digits") << cctv << -1 << "cctv13" << true << 1;
    QTest::newRow("Latin and Chinese") << cctv << -1 << "cctv5" << true << 2;
    QTest::newRow("Latin, digit, pinyin") << cctv << -1 << "cctv5tyss" << true << 3;
    QTest::newRow("punctuation passed over")
        << Texts {"北京", "湖南 · 卫视"} << -1 << "hnws" << true << 1;
    QTest::newRow("full-width letters")
        << Texts {"北京", "ＣＣＴＶ５体育"} << -1 << "cctv5" << true << 1;

    const Texts round {"湖南卫视", "北京卫视", "湖北卫视"};
    QTest::newRow("afresh: on from the selected row") << round << 0 << "h" << true << 2;
    QTest::newRow("afresh: round past the end") << round << 2 << "h" << true << 0;
    QTest::newRow("afresh: the only match stays") << round << 1 << "b" << true << 1;
    const Texts hunan {"湖南卫视", "湖北卫视", "湖南都市"};
    QTest::newRow("more keys: the selected row first") << hunan << 0 << "hu" << true << 1;
    QTest::newRow("more keys: on from the selected row") << hunan << 0 << "hun" << true << 2;
    QTest::newRow("empty list") << Texts {} << -1 << "a" << false << -1;
}

void tst_TypeAhead::typing()
{
    QFETCH(Texts, names);
    QFETCH(int, selected);
    QFETCH(QString, keys);
    QFETCH(bool, found);
    QFETCH(int, after);

    ChannelGuide guide {VendorSite(QStringLiteral("http://vendor.test"))};
    QString list;
    for (int i = 0; i < names.size(); ++i)
        list += QStringLiteral("%1;http://vendor.test/ch/%2\r\n").arg(names[i]).arg(i);
    guide.loadList(list);
    if (selected >= 0)
        guide.selectionModel()->setCurrentIndex(
            guide.model()->index(selected, 0), QItemSelectionModel::ClearAndSelect);
    QSignalSpy shown(&guide, &ChannelGuide::showRequested);

    bool last = false;
    for (int i = 1; i <= keys.size(); ++i)
        last = guide.selectTyped(QStringView(keys).left(i), i == 1);

    QCOMPARE(last, found);
    const QModelIndexList rows = guide.selectionModel()->selectedRows();
    QCOMPARE(rows.isEmpty() ? -1 : rows.first().row(), after);
    // Typing only selects.
    QVERIFY(shown.isEmpty());
}

QTEST_GUILESS_MAIN(tst_TypeAhead)
#include "tst_typeahead.moc"
