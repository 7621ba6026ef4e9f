#include "support/PluginLoader.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#endif

namespace testing_host {

void LoadedPlugin::ResolveExports() {
    if (const char* missing = quarn::TakeExports(exports_, [this](const char* name) { return ByName(name); })) {
        error_ = std::string("missing export ") + missing;
    }
}

#if defined(_WIN32)

namespace {

std::vector<std::string>* boxes = nullptr;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    if (boxes != nullptr) {
        boxes->push_back(std::string("[") + (caption ? caption : "") + "] " + (text ? text : "") + " (style " +
                         std::to_string(style) + (owner != nullptr ? ", owned" : "") + ")");
    }
    return IDOK;
}

// Points the module's import of USER32!MessageBoxA at RecordBox: the plug-in
// runs its own code unchanged and no box reaches the (absent) display.
bool PatchMessageBoxImport(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return false;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name != 0; ++desc) {
        if (_stricmp(reinterpret_cast<char*>(base + desc->Name), "user32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), "MessageBoxA") != 0) continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&RecordBox));
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

std::vector<std::string> recordedBoxes;

}  // namespace

LoadedPlugin::LoadedPlugin(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        error_ = "LoadLibraryA(" + path + ") failed with error " + std::to_string(GetLastError());
        return;
    }
    module_ = module;
    ResolveExports();
}

LoadedPlugin::~LoadedPlugin() {
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
    if (boxes == &recordedBoxes) boxes = nullptr;
}

void* LoadedPlugin::ByName(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

void* LoadedPlugin::ByOrdinal(int ordinal) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), MAKEINTRESOURCEA(ordinal)));
}

void LoadedPlugin::ObserveBoxes() {
    recordedBoxes.clear();
    boxes = &recordedBoxes;
    if (!PatchMessageBoxImport(static_cast<HMODULE>(module_))) error_ = "no MessageBoxA import to observe";
}

std::vector<std::string> LoadedPlugin::TakeBoxes() {
    std::vector<std::string> taken;
    taken.swap(recordedBoxes);
    return taken;
}

std::string PluginPath() { return "Porresku.dll"; }

std::string VersionResourceValue(const std::string& path, const std::string& key) {
    // Read as Unicode, the way Explorer does, then given back in Shift-JIS.
    const std::wstring widePath(path.begin(), path.end());
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(widePath.c_str(), 0, size, data.data())) return {};
    void* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\041104B0\\" + key;
    const std::wstring wideQuery(query.begin(), query.end());
    if (!VerQueryValueW(data.data(), wideQuery.c_str(), &value, &length) || length == 0) return {};
    const auto* text = static_cast<const wchar_t*>(value);
    char out[512];
    const int bytes = WideCharToMultiByte(932, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return bytes > 0 ? std::string(out) : std::string();
}

#else  // POSIX

namespace {

std::string Utf8ToCp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string in = utf8;
    std::string out(in.size() + 1, '\0');
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

LoadedPlugin::LoadedPlugin(const std::string& path) {
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        error_ = std::string("dlopen failed: ") + dlerror();
        return;
    }
    ResolveExports();
}

LoadedPlugin::~LoadedPlugin() {
    if (savedStderr_ >= 0) TakeBoxes();
    if (module_ != nullptr) dlclose(module_);
}

void* LoadedPlugin::ByName(const char* name) const { return dlsym(module_, name); }

void* LoadedPlugin::ByOrdinal(int) const { return nullptr; }

// On Linux a box is one line on standard error: catch that stream.
void LoadedPlugin::ObserveBoxes() {
    char name[] = "/tmp/porresku-boxes-XXXXXX";
    const int fd = mkstemp(name);
    captureFile_ = name;
    std::fflush(stderr);
    savedStderr_ = dup(2);
    dup2(fd, 2);
    close(fd);
}

std::vector<std::string> LoadedPlugin::TakeBoxes() {
    std::vector<std::string> taken;
    if (savedStderr_ < 0) return taken;
    std::fflush(stderr);
    dup2(savedStderr_, 2);
    close(savedStderr_);
    savedStderr_ = -1;
    std::ifstream in(captureFile_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') taken.push_back(Utf8ToCp932(line));
    }
    unlink(captureFile_.c_str());
    return taken;
}

std::string PluginPath() { return PORRESKU_PLUGIN_PATH; }

std::string VersionResourceValue(const std::string&, const std::string&) { return {}; }

#endif

}  // namespace testing_host
