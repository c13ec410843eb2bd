#pragma once

#include <QByteArrayList>

#include <vector>

class QApplication;
class SingleInstance;
class MainWindow;

// The program's process-wide set-up, in one place.
namespace Startup {

// Before the application object: the windowing platform and the web
// engine's URL schemes, both fixed when Qt starts.
void prepareProcess();

// The application object's arguments: the process's own, then the web
// engine's fixed switches. It must outlive the application object.
class ApplicationArguments {
public:
    ApplicationArguments(int argc, char *argv[]);
    int &count() { return m_count; }
    char **values() { return m_values.data(); }

private:
    QByteArrayList m_engine;
    std::vector<char *> m_values;
    int m_count = 0;
};

// Once, before the window is created: the application's identity, icon and
// resources, Chinese for Qt's own texts (dialog buttons, the engine's menus
// and error pages), the quit policy and the web engine's profile.
void prepareApplication(QApplication &app);

// Brings window forward, out of the tray as well, whenever a later start
// asks instance.
void bringForwardOnRequest(SingleInstance &instance, MainWindow &window);

} // namespace Startup
