#include "Plugin.h"

#include <filesystem>
#include <system_error>
#include <type_traits>

#include "HostError.h"
#include "HostSystem.h"

Plugin::Plugin(const std::string& path, const std::string& shownName) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) throw HostError(shownName + ": no such plug-in file");
    std::string error;
    library_ = host_system::OpenLibrary(path, error);
    if (library_ == nullptr) throw HostError(shownName + ": cannot load the plug-in: " + error);

    auto take = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(host_system::FindExport(library_, name));
        if (slot == nullptr) {
            host_system::CloseLibrary(library_);
            library_ = nullptr;
            throw HostError(shownName + ": the plug-in has no export named " + name);
        }
    };
    take(InstallInformation, "InstallInformation");
    take(Create, "Create");
    take(Free, "Free");
    take(Call, "Call");
    take(OnGoodbye, "OnGoodbye");
    take(IsCalled, "IsCalled");
    take(Name, "Name");
    take(Information, "Information");
    take(Setup, "Setup");
}

Plugin::~Plugin() {
    if (library_ != nullptr) host_system::CloseLibrary(library_);
}
