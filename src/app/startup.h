#pragma once

class QApplication;

namespace Startup {

// Application-wide set-up done once before the window is created: Chinese
// for Qt's own texts (dialog buttons, the engine's menus and error pages),
// the application's identity and icon.
void prepareApplication(QApplication &app);

} // namespace Startup
