// The plug-in as the host holds it: the loaded library and its nine exports,
// taken by name.
#pragma once

#include <string>

#include "QuarnAPI/QuarnAPI.h"

class Plugin {
public:
    // Loads the library at `path` (errors name it as `shownName`) and takes
    // every export. Throws HostError.
    Plugin(const std::string& path, const std::string& shownName);
    ~Plugin();  // unloads: the plug-in writes what it still holds
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const quarn::Exports& exports() const { return exports_; }

private:
    void* library_ = nullptr;
    quarn::Exports exports_;
};
