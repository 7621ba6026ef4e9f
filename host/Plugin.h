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

    quarn::InstallInformationFn InstallInformation = nullptr;
    quarn::CreateFn Create = nullptr;
    quarn::ChannelFn Free = nullptr;
    quarn::ChannelFn Call = nullptr;
    quarn::ChannelFn OnGoodbye = nullptr;
    quarn::IsCalledFn IsCalled = nullptr;
    quarn::TextResultFn Name = nullptr;
    quarn::TextResultFn Information = nullptr;
    quarn::SetupFn Setup = nullptr;

private:
    void* library_ = nullptr;
};
