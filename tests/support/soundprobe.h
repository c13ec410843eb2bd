#pragma once

// What reaches the sound card: tests/xrun.sh gives each test a sound server of
// its own whose default sink is a null sink; its monitor is recorded here.

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <cmath>
#include <functional>

namespace SoundProbe {

// Why nothing can be heard here, or empty when it can.
inline QString unavailable()
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        return QStringLiteral("no sound server of the test's own (pulseaudio not installed?)");
    QProcess info;
    info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    if (!info.waitForFinished(5000) || info.exitCode() != 0)
        return QStringLiteral("the sound server does not answer (pulseaudio-utils installed?)");
    return {};
}

inline bool available()
{
    return unavailable().isEmpty();
}

// Loudness of the next ms of what the default sink plays: the RMS of both
// channels, 0 (silence) to 1 (full scale); -1 when nothing was recorded. Waits
// in a real event loop, so the engine's players keep going meanwhile.
inline double level(int ms)
{
    QProcess rec;
    const qsizetype wanted = qsizetype(ms) * 44100 / 1000 * 4;
    QByteArray got;
    QEventLoop loop;
    QObject::connect(&rec, &QProcess::readyReadStandardOutput, &loop, [&] {
        got += rec.readAllStandardOutput();
        if (got.size() >= wanted)
            loop.quit();
    });
    QObject::connect(&rec, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms + 10000, &loop, &QEventLoop::quit);
    rec.start(QStringLiteral("parec"),
        {"--device=@DEFAULT_MONITOR@", "--raw", "--format=s16le", "--channels=2", "--rate=44100",
            "--latency-msec=20"});
    loop.exec();
    rec.kill();
    rec.waitForFinished(2000);
    if (got.size() < wanted)
        return -1;
    const auto *samples = reinterpret_cast<const qint16 *>(got.constData());
    double sum = 0;
    for (qsizetype i = 0; i < wanted / 2; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(wanted / 2)) / 32768.0;
}

// Listens in stretches of ms until one has a level heard() accepts; false if
// none did in time. The last level is left in *last.
inline bool waitFor(const std::function<bool(double)> &heard, int timeoutMs = 20000, int ms = 300,
    double *last = nullptr)
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        const double l = level(ms);
        if (last)
            *last = l;
        if (l >= 0 && heard(l))
            return true;
    } while (!deadline.hasExpired());
    return false;
}

} // namespace SoundProbe
