#pragma once

class QApplication;
class SingleInstance;
class MainWindow;

namespace Startup {

// Application-wide set-up done once before the window is created: Chinese
// for Qt's own texts (dialog buttons, the engine's menus and error pages),
// the application's identity and icon.
void prepareApplication(QApplication &app);

// Brings window forward, out of the tray as well, whenever a later start
// asks instance.
void bringForwardOnRequest(SingleInstance &instance, MainWindow &window);

} // namespace Startup
