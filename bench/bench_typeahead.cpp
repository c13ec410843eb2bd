// Finding a channel by typing, one key at a time, in a list of the largest
// size the viewer takes. Two floors from the same run: a plain substring scan
// of every name for the same text (for the search), and Down in the same
// list (for a key in the window, painted). Two lists: names of many kinds,
// and the demo list's "频道N", where every name shares what is typed. Each
// key's figure is the median of its runs; the slowest key is reported.
// Usage: bench_typeahead [runs]   (default 7)

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "guide/channellist.h"
#include "guide/channelmodel.h"

#include <QItemSelectionModel>
#include <QListView>

#include <cstdlib>

namespace {

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Samples by key: every run of the same key lands in the same list.
using Samples = QList<QList<double>>;

struct Figures {
    Samples floor, search, down, window;
    // Printed, so the floor's scan is not optimised away.
    qint64 containing = 0;
};

void add(Samples &s, int key, double ms)
{
    if (s.size() <= key)
        s.resize(key + 1);
    s[key] << ms;
}

// The median over keys of each key's median, and the slowest key's median.
std::pair<double, double> summary(const Samples &s)
{
    QList<double> perKey;
    for (const QList<double> &runs : s)
        perKey << Bench::median(runs);
    return {Bench::median(perKey),
        perKey.isEmpty() ? 0 : *std::max_element(perKey.begin(), perKey.end())};
}

QString listText(const QStringList &names)
{
    QString text;
    for (int i = 0; i < names.size(); ++i)
        text += QStringLiteral("%1;http://127.0.0.1/ch/%2\r\n").arg(names[i]).arg(i);
    return text;
}

void selectFirst(ChannelGuide *guide)
{
    guide->selectionModel()->setCurrentIndex(
        guide->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
}

// A key to the list, timed until what it changed is painted.
double keyToList(QListView *list, Qt::Key key)
{
    QElapsedTimer t;
    t.start();
    QTest::keyClick(list, key);
    QCoreApplication::sendPostedEvents();
    return msSince(t);
}

void measure(MainWindow &w, const QStringList &words, int runs, Figures &f)
{
    ChannelGuide *guide = Bench::guideOf(w);
    QListView *list = Bench::part<QListView>(w, "channelList");
    const QList<ChannelEntry> &entries = guide->model()->entries();
    for (int run = 0; run < runs; ++run) {
        int key = 0;
        for (const QString &word : words) {
            selectFirst(guide);
            for (int i = 1; i <= word.size(); ++i, ++key) {
                const QStringView typed = QStringView(word).left(i);
                QElapsedTimer t;
                t.start();
                for (const ChannelEntry &e : entries)
                    f.containing += e.name.contains(typed) ? 1 : 0;
                add(f.floor, key, msSince(t));
                t.restart();
                guide->selectTyped(typed, i == 1);
                add(f.search, key, msSince(t));
            }
        }
        key = 0;
        list->setFocus();
        for (const QString &word : words) {
            selectFirst(guide);
            Bench::settle(20);
            for (int i = 0; i < word.size(); ++i, ++key) {
                add(f.window, key, keyToList(list, Qt::Key(word.at(i).toUpper().unicode())));
                Bench::settle(5);
            }
            QTest::keyClick(list, Qt::Key_Escape);
            selectFirst(guide);
            Bench::settle(20);
            for (int i = 0; i < word.size(); ++i) {
                add(f.down, key - word.size() + i, keyToList(list, Qt::Key_Down));
                Bench::settle(5);
            }
        }
    }
}

QString ms(double v)
{
    return QStringLiteral("%1 ms").arg(v, 0, 'f', 2);
}

void report(const QString &label, const Figures &f)
{
    const auto [floor, floorMax] = summary(f.floor);
    const auto [search, searchMax] = summary(f.search);
    const auto [down, downMax] = summary(f.down);
    const auto [key, keyMax] = summary(f.window);
    std::printf("%s: %lld keys, %lld names containing the typed text as written\n",
        qPrintable(label), qlonglong(f.search.size()), f.containing);
    std::printf("  substring scan (floor)  median %7.3f ms  slowest %7.3f ms\n", floor, floorMax);
    std::printf("  type-ahead search       median %7.3f ms  slowest %7.3f ms  ratio %.2f\n", search,
        searchMax, Bench::ratio(searchMax, floor));
    std::printf("  Down, painted (floor)   median %7.3f ms  slowest %7.3f ms\n", down, downMax);
    std::printf("  type-ahead key, painted median %7.3f ms  slowest %7.3f ms  ratio %.2f\n", key,
        keyMax, Bench::ratio(keyMax, down));
    Bench::row(QStringLiteral("type-ahead search, 32767 %1, slowest key").arg(label), ms(searchMax),
        QStringLiteral("substring scan ") + ms(floor), Bench::ratio(searchMax, floor));
    Bench::row(QStringLiteral("type-ahead key painted, 32767 %1, slowest key").arg(label),
        ms(keyMax), QStringLiteral("Down in the list ") + ms(down), Bench::ratio(keyMax, down));
}

} // namespace

int main(int argc, char **argv)
{
    Bench::ViewerApp app(argc, argv);
    const int runs = Bench::runsFrom(argc, argv, 7);

    const QStringList stems {"CCTV-1综合", "CCTV-5体育", "CCTV-13新闻", "湖南卫视", "湖北卫视",
        "浙江卫视", "江苏卫视", "东方卫视", "北京卫视", "重庆卫视", "长沙新闻", "广东珠江",
        "深圳都市", "四川卫视", "凤凰中文", "山东齐鲁", "黑龙江卫视", "厦门卫视", "CGTN 纪录",
        "云南国际", "绿色频道", "乐视体育"};
    QStringList mixed, numbered;
    for (int i = 0; i < ChannelList::MaxChannels; ++i) {
        mixed << QStringLiteral("%1 %2").arg(stems[i % stems.size()]).arg(i);
        numbered << QStringLiteral("频道%1").arg(i);
    }
    // The last of a stem, a miss after a long shared beginning, a miss at once.
    const QStringList mixedWords {"hunanweishi32761", "cctv5ty", "zqws", "hnwsx", "xyz"};
    const QStringList numberedWords {"pindao32766", "pd12345", "pindao32767"};

    MainWindow w(Bench::viewerOptionsFor(QStringLiteral("http://127.0.0.1:9")));
    ChannelGuide *guide = Bench::guideOf(w);
    w.show();
    Bench::part<TabControl>(w, "tabs")->setCurrentIndex(1);
    if (!QTest::qWaitForWindowExposed(&w, 10000)) {
        std::fprintf(stderr, "window never exposed\n");
        return 1;
    }
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w, 5000))
        std::fprintf(stderr, "window never active\n");
    Bench::settle(300);

    int wrong = 0;
    Figures mixedFigures, numberedFigures;
    guide->loadList(listText(mixed));
    measure(w, mixedWords, runs, mixedFigures);
    // The figures timed real finds.
    selectFirst(guide);
    wrong += guide->selectTyped(u"hunanweishi32761", true) ? 0 : 1;
    wrong += guide->selectionModel()->currentIndex().row() == 32761 ? 0 : 1;

    guide->clear();
    guide->loadList(listText(numbered));
    measure(w, numberedWords, runs, numberedFigures);
    selectFirst(guide);
    wrong += guide->selectTyped(u"pindao32766", true) ? 0 : 1;
    wrong += guide->selectTyped(u"pindao32767", false) ? 1 : 0;

    std::printf("32767 names, %d runs\n", runs);
    report(QStringLiteral("mixed names"), mixedFigures);
    report(QStringLiteral("频道N names"), numberedFigures);
    return wrong == 0 ? 0 : 2;
}
