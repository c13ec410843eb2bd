// Parsing and filling a channel list of the largest size the viewer takes,
// against splitting the same text into lines (the floor), in the same run.
// Usage: bench_listparse [runs]   (default 7)

#include "app/mainwindow.h"
#include "app/tabcontrol.h"
#include "benchsupport.h"
#include "guide/channelguide.h"
#include "guide/channellist.h"
#include "testsupport.h"

#include <QApplication>
#include <QListView>

#include <cstdlib>

namespace {

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    Bench::ViewerApp app(argc, argv);
    const int runs = Bench::runsFrom(argc, argv, 7);

    // Start-up never runs, so no list download fills the model behind our back.
    Bench::SiteServer server;
    if (!server.ok()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    const QString base = server.baseUrl();

    const int entries = ChannelList::MaxChannels;
    QString text;
    text.reserve(entries * 48);
    for (int i = 0; i < entries; ++i)
        text += QStringLiteral("频道%1;%2/tv/%3.htm\r\n")
                    .arg(i)
                    .arg(base)
                    .arg(i % 12 + 1, 2, 10, QLatin1Char('0'));

    MainWindow w(Bench::viewerOptionsFor(base));
    ChannelGuide *guide = Bench::guideOf(w);
    QListView *channelList = Bench::part<QListView>(w, "channelList");
    w.show();
    // The program tab, where the list is on screen while it fills.
    Bench::part<TabControl>(w, "tabs")->setCurrentIndex(1);
    if (!QTest::qWaitForWindowExposed(&w, 10000)) {
        std::fprintf(stderr, "window never exposed\n");
        return 1;
    }
    Bench::settle(300);

    QList<double> split, parse, fill, fillPaint;
    qsizetype lines = 0, parsed = 0;
    int filled = 0;
    for (int run = 0; run < runs; ++run) {
        {
            QElapsedTimer t;
            t.start();
            const QStringList l = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
            split << msSince(t);
            lines = l.size();
        }
        {
            QElapsedTimer t;
            t.start();
            const ChannelListParse p = ChannelList::parse(text);
            parse << msSince(t);
            parsed = p.entries.size();
        }
        // As the refresh menu does before the list comes again.
        guide->clear();
        Bench::settle(150);
        {
            QElapsedTimer t;
            t.start();
            guide->loadList(text);
            fill << msSince(t);
            // What the event loop would do next: lay out the items, paint.
            channelList->doItemsLayout();
            channelList->viewport()->repaint();
            fillPaint << msSince(t);
            filled = guide->channelCount();
        }
        Bench::settle(150);
    }

    const double floor = Bench::median(split);
    const double p = Bench::median(parse), f = Bench::median(fill), fp = Bench::median(fillPaint);
    std::printf("list of %d entries (%lld chars), %d runs, medians\n", entries,
        qlonglong(text.size()), runs);
    std::printf(
        "split into lines (floor)           %8.2f ms  (%lld lines)\n", floor, qlonglong(lines));
    std::printf("ChannelList::parse                 %8.2f ms  ratio %.2f  (%lld entries)\n", p,
        Bench::ratio(p, floor), qlonglong(parsed));
    std::printf("loadList (parse + fill model)    %8.2f ms  ratio %.2f  (%d channels)\n", f,
        Bench::ratio(f, floor), filled);
    std::printf(
        "loadList + list layout and paint %8.2f ms  ratio %.2f\n", fp, Bench::ratio(fp, floor));

    const QString floorText
        = QStringLiteral("split() into QStringList %1 ms").arg(floor, 0, 'f', 1);
    Bench::row(QStringLiteral("parse 32767-entry list"), QStringLiteral("%1 ms").arg(p, 0, 'f', 1),
        floorText, Bench::ratio(p, floor));
    Bench::row(QStringLiteral("loadList 32767 entries (fill)"),
        QStringLiteral("%1 ms").arg(f, 0, 'f', 1), floorText, Bench::ratio(f, floor));
    Bench::row(QStringLiteral("loadList 32767 + layout/paint"),
        QStringLiteral("%1 ms").arg(fp, 0, 'f', 1), floorText, Bench::ratio(fp, floor));
    return parsed == entries && filled == entries ? 0 : 2;
}
