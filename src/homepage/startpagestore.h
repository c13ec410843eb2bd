#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The user's browser start page: the per-user value
// HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main\Start page.
class StartPageStore {
public:
    virtual ~StartPageStore() = default;
    // The stored text; nothing when the value is missing or unreadable.
    virtual std::optional<QString> read() = 0;
    // Stores text as a string value, creating key and value; false on failure.
    virtual bool write(const QString &text) = 0;
};

// Creates the store; may return null when it cannot be opened, and is then
// asked again at the next use.
using StartPageStoreFactory = std::function<std::unique_ptr<StartPageStore>()>;

// The store of the platform: the registry on Windows, a per-user emulation of
// that registry path elsewhere.
StartPageStoreFactory systemStartPageStore();
