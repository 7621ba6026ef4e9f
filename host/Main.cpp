// porresku_host: a stand-in for the QUARN host in a terminal. It loads the
// board plug-in by file name, serves it from a member file, and lets a
// person (or a script on standard input) log callers on and off on several
// channels. See host/README.md.
//
// Exit status: 0 fine, 1 a bad file or a failed scripted command, 2 a bad
// command line. Its own texts are ASCII: this file is compiled with the
// board's CP932 execution charset.
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "HostError.h"
#include "HostSystem.h"
#include "MemberFile.h"
#include "Plugin.h"
#include "QuarnAPI/QuarnAPI.h"
#include "Session.h"

namespace {

constexpr const char* kUsage =
    "usage: porresku_host [--plugin PATH] [--members FILE] [--dir FOLDER] [--raw] [--script]\n"
    "  --plugin PATH   the plug-in (default: the one beside this program)\n"
    "  --members FILE  the member file (default: members.txt in the working folder)\n"
    "  --dir FOLDER    the working folder, where porresku.log lives (default: ../board-run\n"
    "                  beside this program's folder); made when missing\n"
    "  --raw           pass the board's bytes (CP932) to and from the terminal untouched\n"
    "  --script        echo what is read (the default when standard input is no terminal)\n";

struct Options {
    std::string plugin;
    std::string members;
    std::string dir;
    bool raw = false;
    bool script = false;
};

// True when --help asks for the usage only. Throws HostError.
bool ReadOptions(const std::vector<std::string>& args, Options& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& slot) {
            if (i + 1 >= args.size()) throw HostError(arg + " needs a value (see --help)");
            slot = args[++i];
        };
        if (arg == "--plugin") {
            value(options.plugin);
        } else if (arg == "--members") {
            value(options.members);
        } else if (arg == "--dir") {
            value(options.dir);
        } else if (arg == "--raw") {
            options.raw = true;
        } else if (arg == "--script") {
            options.script = true;
        } else if (arg == "--help" || arg == "-h") {
            return true;
        } else {
            throw HostError("unknown option '" + arg + "' (see --help)");
        }
    }
    return false;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (true) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

void Say(const std::string& text) { host_system::WriteOut("* " + text + "\n"); }

// What a host shows of a plug-in when it lists it: its name, its information
// and the label for the menu.
void ShowPlugin(const Plugin& plugin, const MemberFile& members) {
    auto text = [](const char* cp932) { return host_system::Cp932ToUtf8(cp932 != nullptr ? cp932 : ""); };
    Say("plug-in: " + text(plugin.exports().Name()));
    const std::vector<std::string> information = SplitLines(text(plugin.exports().Information()));
    for (std::size_t i = 0; i < information.size(); ++i) {
        Say((i == 0 ? "information: " : "             ") + information[i]);
    }
    quarn::InstallRecord install{};  // zeroed: the plug-in writes only what it fills
    plugin.exports().InstallInformation(&install);
    Say("menu label: " + host_system::Cp932ToUtf8(install.label.view()));
    Say("members: " + std::to_string(members.size()) + " in " + members.shownName());
}

int Run(const std::vector<std::string>& args) {
    Options options;
    std::string optionError;
    bool help = false;
    try {
        help = ReadOptions(args, options);
    } catch (const HostError& error) {
        optionError = error.what();
    }
    // Before anything is written: on Windows, "\n" stays "\n".
    host_system::PrepareTerminal(options.raw);
    if (!optionError.empty()) {
        host_system::WriteError(optionError + "\n");
        return 2;
    }
    if (help) {
        host_system::WriteOut(kUsage);
        return 0;
    }
    const bool script = options.script || !host_system::InputIsTerminal();

    // Paths from the command line count from the folder the host starts in;
    // the working folder becomes current before the plug-in loads, since the
    // plug-in reads its log from the current folder as it loads.
    const std::string programFolder = host_system::ProgramFolder();
    const std::string pluginShown =
        options.plugin.empty() ? (std::filesystem::path(programFolder) / host_system::PluginFileName()).string()
                               : options.plugin;
    const std::string pluginPath = host_system::AbsolutePath(pluginShown);
    const std::string membersShown = options.members.empty() ? "members.txt" : options.members;
    const std::string membersPath = options.members.empty() ? "" : host_system::AbsolutePath(options.members);
    const std::string dir =
        options.dir.empty() ? (std::filesystem::path(programFolder).parent_path() / "board-run").string() : options.dir;

    try {
        std::string error;
        if (!host_system::EnterFolder(dir, error)) throw HostError(dir + ": cannot use it as the working folder: " + error);
        MemberFile members(membersPath.empty() ? host_system::AbsolutePath("members.txt") : membersPath, membersShown);
        Plugin plugin(pluginPath, pluginShown);
        ShowPlugin(plugin, members);
        if (!script) Say("type help for the commands");
        int status = 0;
        {
            Session session(plugin, members, {options.raw, script});
            status = session.Run();
        }
        return status;
    } catch (const HostError& error) {
        host_system::WriteError(std::string(error.what()) + "\n");
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        host_system::WriteError(std::string("porresku_host: ") + error.what() + "\n");
        return 1;
    }
}
