// A second process for the start-up tests.
//   claim NAME     claims the viewer's place as main() does; prints
//                  "asked" and ends when another one runs, else "running"
//                  and one "activated" per request, until killed.
//   race NAME      prints "ready", waits for a line on its input, then
//                  claims as above, so that several claim at one moment.
//   lock PATH      holds the lock file PATH until killed ("locked").
//   platform       prepares the process and the application as main() does,
//                  shows a window and prints the platform name and whether
//                  it was exposed.
//   place SITE     starts the viewer against SITE as main() does and, once
//                  the window manager has framed its window, prints where:
//                  "frame X Y W H" on the X screen.

#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "prompting.h"
#include "x11probe.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLockFile>
#include <QTest>
#include <QWidget>

#include <cstdio>

namespace {

void say(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int claim(int argc, char *argv[], bool onCue)
{
    Startup::prepareProcess();
    QApplication app(argc, argv);
    if (onCue) {
        say("ready");
        char cue[8];
        if (!std::fgets(cue, sizeof cue, stdin))
            return 2;
    }
    SingleInstance instance(QString::fromLocal8Bit(argv[2]));
    if (!instance.claim()) {
        say("asked");
        return 0;
    }
    QObject::connect(
        &instance, &SingleInstance::activationRequested, &app, [] { say("activated"); });
    say("running");
    return app.exec();
}

int lock(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLockFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.tryLock(5000))
        return 2;
    say("locked");
    return app.exec();
}

int platform(int argc, char *argv[])
{
    Startup::prepareProcess();
    QApplication app(argc, argv);
    Startup::prepareApplication(app);
    QWidget window;
    window.resize(200, 100);
    window.show();
    const bool exposed = QTest::qWaitForWindowExposed(&window, 10000);
    const QByteArray line
        = QGuiApplication::platformName().toLatin1() + (exposed ? " exposed" : " unexposed");
    say(line.constData());
    return 0;
}

int place(int argc, char *argv[])
{
    Startup::prepareProcess();
    Startup::ApplicationArguments arguments(argc, argv);
    QApplication app(arguments.count(), arguments.values());
    Startup::prepareApplication(app);
    ViewerOptions options {VendorSite(QString::fromLocal8Bit(argv[2]))};
    auto store = std::make_shared<MemoryStartPage>();
    store->value = options.site.navigationPage();
    options.startPageStore = memoryStoreFactory(store);
    MainWindow window(std::move(options));
    QTimer::singleShot(0, &window, &MainWindow::start);
    // Mapped, with the frame drawn around it.
    QRect f;
    (void)QTest::qWaitFor(
        [&] {
            if (window.isVisible() && window.windowHandle()->isExposed())
                f = X11Probe::outerRect(window.windowHandle()->winId());
            return f.isValid();
        },
        30000);
    say(qPrintable(QString::asprintf("frame %d %d %d %d", f.x(), f.y(), f.width(), f.height())));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray mode = argc > 1 ? argv[1] : "";
    if ((mode == "claim" || mode == "race") && argc == 3)
        return claim(argc, argv, mode == "race");
    if (mode == "lock" && argc == 3)
        return lock(argc, argv);
    if (mode == "platform" && argc == 2)
        return platform(argc, argv);
    if (mode == "place" && argc == 3)
        return place(argc, argv);
    std::fputs(
        "usage: start_helper claim NAME | race NAME | lock PATH | platform | place SITE\n", stderr);
    return 64;
}
