#pragma once

// What the X server and the window manager say about our windows, read with
// the standard X tools (xprop, xwininfo, xdotool), as a user's desktop sees
// them rather than as Qt believes them.

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace X11Probe {

inline QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline QString hexId(WId id)
{
    return QStringLiteral("0x%1").arg(quint64(id), 0, 16);
}

// Whether the window manager lists the window (its taskbar entry).
inline bool managed(WId id)
{
    const QString out = run(QStringLiteral("xprop"), {"-root", "_NET_CLIENT_LIST"});
    const QRegularExpression ids(QStringLiteral("0x[0-9a-f]+"));
    for (auto it = ids.globalMatch(out); it.hasNext();) {
        if (it.next().captured().toULongLong(nullptr, 16) == id)
            return true;
    }
    return false;
}

// The managed windows from bottom to top.
inline QList<WId> stacking()
{
    const QString out = run(QStringLiteral("xprop"), {"-root", "_NET_CLIENT_LIST_STACKING"});
    const QRegularExpression ids(QStringLiteral("0x[0-9a-f]+"));
    QList<WId> found;
    for (auto it = ids.globalMatch(out); it.hasNext();)
        found << WId(it.next().captured().toULongLong(nullptr, 16));
    return found;
}

inline bool viewable(WId id)
{
    return run(QStringLiteral("xwininfo"), {"-id", hexId(id)}).contains("Map State: IsViewable");
}

inline QString netWmState(WId id)
{
    return run(QStringLiteral("xprop"), {"-id", hexId(id), "_NET_WM_STATE"});
}

// The window's outer rectangle on the screen, frame included, from the
// client's absolute position and the frame extents the window manager set.
inline QRect outerRect(WId id)
{
    const QString info = run(QStringLiteral("xwininfo"), {"-id", hexId(id)});
    auto number = [&info](const char *label) {
        const QRegularExpression re(QStringLiteral("%1: *(-?\\d+)").arg(QLatin1String(label)));
        const auto m = re.match(info);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    const QRect client(number("Absolute upper-left X"), number("Absolute upper-left Y"),
        number("Width"), number("Height"));
    const QStringList extents
        = run(QStringLiteral("xprop"), {"-id", hexId(id), "_NET_FRAME_EXTENTS"})
              .section(u'=', 1)
              .split(u',');
    if (extents.size() != 4)
        return {};
    // left, right, top, bottom
    const QMargins frame(extents[0].trimmed().toInt(), extents[2].trimmed().toInt(),
        extents[1].trimmed().toInt(), extents[3].trimmed().toInt());
    return client.marginsAdded(frame);
}

// Screen rectangles of this process's windows docked in IceWM's
// notification area: the direct clients of its embedders that share our X
// resource base.
inline QList<QRect> trayClients(WId ours)
{
    const quint64 base = quint64(ours) & ~quint64(0x1fffff);
    const QStringList lines = run(QStringLiteral("xwininfo"), {"-root", "-tree"}).split(u'\n');
    const QRegularExpression row(QStringLiteral("^( *)(0x[0-9a-f]+) (.*)$"));
    const QRegularExpression geometry(
        QStringLiteral("(\\d+)x(\\d+)[+-]-?\\d+[+-]-?\\d+ +\\+(-?\\d+)\\+(-?\\d+)$"));
    int trayIndent = -1;
    int embedderIndent = -1;
    QList<QRect> found;
    for (const QString &line : lines) {
        const auto m = row.match(line);
        if (!m.hasMatch())
            continue;
        const int indent = m.capturedLength(1);
        if (trayIndent >= 0 && indent <= trayIndent)
            break;
        if (trayIndent < 0) {
            if (m.captured(3).startsWith("\"SystemTray\""))
                trayIndent = indent;
            continue;
        }
        if (m.captured(3).startsWith("\"YXTrayEmbedder\"")) {
            embedderIndent = indent;
            continue;
        }
        const quint64 id = m.captured(2).toULongLong(nullptr, 16);
        if (indent != embedderIndent + 3 || (id & ~quint64(0x1fffff)) != base)
            continue;
        const auto g = geometry.match(m.captured(3));
        found << (g.hasMatch() ? QRect(g.captured(3).toInt(), g.captured(4).toInt(),
                      g.captured(1).toInt(), g.captured(2).toInt())
                               : QRect());
    }
    return found;
}

// Runs xdotool without waiting: what it sends may open a modal box here.
inline void xdotoolDetached(const QStringList &args)
{
    QProcess::startDetached(QStringLiteral("xdotool"), args);
}

inline void xdotool(const QStringList &args)
{
    run(QStringLiteral("xdotool"), args);
}

// A real pointer click at a global position, as a user makes it: the engine
// takes synthetic Qt events for no user gesture. The pointer comes from
// elsewhere, so the target sees it arrive (a synced move to where it already
// is would never end).
inline void clickAt(QPoint global, int button = 1, int repeat = 1, int delayMs = 80)
{
    xdotool({"mousemove", "0", "0", "mousemove", "--sync", QString::number(global.x()),
        QString::number(global.y()), "click", "--repeat", QString::number(repeat), "--delay",
        QString::number(delayMs), QString::number(button)});
}

inline void clickAt(QWidget *w, QPoint at, int button = 1, int repeat = 1)
{
    clickAt(w->mapToGlobal(at), button, repeat);
}

} // namespace X11Probe
