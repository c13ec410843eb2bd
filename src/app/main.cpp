#include "appinfo.h"
#include "app/frmhome.h"
#include "app/startup.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Startup::prepareApplication(app);
    frmhome w(QString::fromUtf8(AppInfo::VendorSite));
    // Start-up runs inside the event loop, so quitting from a nested wait
    // ends every loop at once.
    QTimer::singleShot(0, &w, &frmhome::Form_Load);
    return app.exec();
}
