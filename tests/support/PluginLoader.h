// Loads the built plug-in by file name, as the host does, and finds its
// exports. Also observes the plug-in's message boxes without a display.
#pragma once

#include <string>
#include <vector>

#include "QuarnAPI/QuarnAPI.h"

namespace testing_host {

using PluginExports = quarn::Exports;

class LoadedPlugin {
public:
    // Loads the library from `path`; check loaded() and error().
    explicit LoadedPlugin(const std::string& path);
    ~LoadedPlugin();  // unloads it: the library's unload step runs
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const std::string& error() const { return error_; }
    const PluginExports& exports() const { return exports_; }

    // Address of an export by name (nullptr when missing).
    void* ByName(const char* name) const;
    // Address of an export by ordinal; nullptr where the platform has none.
    void* ByOrdinal(int ordinal) const;

    // Starts recording the plug-in's message boxes instead of showing them.
    void ObserveBoxes();
    // Boxes shown since ObserveBoxes, each as "[caption] text (style N)" in Shift-JIS.
    std::vector<std::string> TakeBoxes();

private:
    void ResolveExports();

    void* module_ = nullptr;
    std::string error_;
    PluginExports exports_;
    int savedStderr_ = -1;
    std::string captureFile_;
};

// The plug-in's file as the build produced it.
std::string PluginPath();

// A value of the Japanese string table of a file's version resource
// ("FileDescription", "ProductName", ...), as the file's properties show it;
// empty where there is none (or no such resources on this platform).
std::string VersionResourceValue(const std::string& path, const std::string& key);

}  // namespace testing_host
