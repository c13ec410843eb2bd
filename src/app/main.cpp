#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "appinfo.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    Startup::prepareProcess();
    Startup::ApplicationArguments arguments(argc, argv);
    QApplication app(arguments.count(), arguments.values());
    // A second start hands over to the running viewer before it shows,
    // asks or downloads anything.
    SingleInstance instance;
    if (!instance.claim())
        return 0;
    Startup::prepareApplication(app);
    MainWindow w({VendorSite(QString::fromUtf8(AppInfo::VendorSite))});
    Startup::bringForwardOnRequest(instance, w);
    // Start-up runs inside the event loop, so quitting from a nested wait
    // ends every loop at once.
    QTimer::singleShot(0, &w, &MainWindow::start);
    return app.exec();
}
