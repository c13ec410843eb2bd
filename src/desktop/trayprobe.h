#pragma once

// Whether a StatusNotifier host is registered on the session bus, asked as
// Qt asks before it puts a tray icon on D-Bus instead of an XEmbed tray.
bool statusNotifierHostRegistered();
