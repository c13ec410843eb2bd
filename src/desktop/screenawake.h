#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

// Keeps the screen from blanking while held: through each inhibitor the
// session offers on D-Bus (the screen saver, power management and the
// desktop portal's Inhibit) and by suspending the X server's own screen
// saver and DPMS. Nothing waits for an answer. Everything held is tied to the
// process's connections, so a process that ends, even killed, holds nothing.
class ScreenAwake : public QObject {
    Q_OBJECT
public:
    // application and reason are what the desktop shows of the hold.
    ScreenAwake(const QString &application, const QString &reason, QObject *parent = nullptr);
    ~ScreenAwake() override;

    void setHeld(bool held);
    bool isHeld() const { return m_held; }

private:
    void hold();
    void release();
    void holdThrough(int inhibitor);
    void releaseToken(int inhibitor, const QVariant &token);
    bool suspendX11ScreenSaver(bool suspend);

    QString m_application;
    QString m_reason;
    bool m_held = false;
    bool m_x11Suspended = false;
    // Counts holds, so an answer that comes after its hold was let go is
    // let go at once.
    quint64 m_holds = 0;
    // What each inhibitor gave for the hold: a cookie or a request handle.
    QList<QVariant> m_tokens;
};
