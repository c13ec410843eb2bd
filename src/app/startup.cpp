#include "startup.h"

#include "appinfo.h"
#include "desktop/platformchoice.h"
#include "mainwindow.h"
#include "singleinstance.h"
#include "webview/webenvironment.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The images live in a static library, where nothing registers them on its own.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Startup {

void prepareProcess()
{
    PlatformChoice::applyToProcess();
    WebEnvironment::registerSchemes();
}

ApplicationArguments::ApplicationArguments(int argc, char *argv[])
    : m_engine(WebEnvironment::engineArguments())
{
    m_values.assign(argv, argv + argc);
    for (QByteArray &argument : m_engine)
        m_values.push_back(argument.data());
    m_count = int(m_values.size());
    m_values.push_back(nullptr);
}

void prepareApplication(QApplication &app)
{
    app.setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(AppInfo::Major).arg(AppInfo::Minor).arg(AppInfo::Revision));
    app.setDesktopFileName(QStringLiteral("lichuantv"));
    initResources();
    app.setWindowIcon(QIcon(QStringLiteral(":/images/remote.png")));

    // All visible text is Simplified Chinese, whatever the user's locale.
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char *name : {"qtbase", "qtwebengine"}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(chinese, QString::fromLatin1(name), QStringLiteral("_"), dir))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }

    // The program ends only through the confirmed close; a window hidden in
    // the tray, or a box closing while it is hidden, must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    WebEnvironment::prepareProfile();
}

void bringForwardOnRequest(SingleInstance &instance, MainWindow &window)
{
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
        [&window] { window.bringToFront(); });
}

} // namespace Startup
