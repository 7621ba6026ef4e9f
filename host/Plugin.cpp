#include "Plugin.h"

#include <filesystem>
#include <system_error>

#include "HostError.h"
#include "HostSystem.h"

Plugin::Plugin(const std::string& path, const std::string& shownName) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) throw HostError(shownName + ": no such plug-in file");
    std::string error;
    library_ = host_system::OpenLibrary(path, error);
    if (library_ == nullptr) throw HostError(shownName + ": cannot load the plug-in: " + error);

    const char* missing =
        quarn::TakeExports(exports_, [this](const char* name) { return host_system::FindExport(library_, name); });
    if (missing != nullptr) {
        host_system::CloseLibrary(library_);
        library_ = nullptr;
        throw HostError(shownName + ": the plug-in has no export named " + missing);
    }
}

Plugin::~Plugin() {
    if (library_ != nullptr) host_system::CloseLibrary(library_);
}
