// porresku-log: the sysop's tool for the board's message log.
//
//   porresku-log [--raw] check  [LOG]
//   porresku-log [--raw] list   [LOG] [--since DATE] [--user ID] [--match TEXT]
//   porresku-log [--raw] export [LOG] [--format text|csv|json]
//   porresku-log [--raw] remove [LOG] (--user ID | --key "MM/DD hh:mm" | --match TEXT | --line N)... [--dry-run]
//   porresku-log [--raw] repair [LOG] [--dry-run]
//
// Exit status: 0 fine (check: clean), 1 check found something, 2 a usage or
// file error (one line on standard error; the log is untouched).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <map>

#include "Commands.h"
#include "LogFiles.h"
#include "Terminal.h"
#include "log/LogFormat.h"

namespace {

using namespace porresku_log;

struct Arguments {
    std::string log = messagelog::kLogName;
    bool raw = false;
    bool dryRun = false;
    std::optional<std::string> since;
    std::vector<std::string> users, keys, matches;
    std::vector<std::int64_t> lines;
    ExportFormat format = ExportFormat::kText;
};

void AddLog(CLI::App& command, Arguments& arguments) {
    command.add_option("LOG", arguments.log, "the message log (default: porresku.log in the current folder)");
}

// Texts from the command line as the log holds them.
std::vector<std::string> InLog(const std::vector<std::string>& texts, const char* option, const Terminal& terminal) {
    std::vector<std::string> converted;
    for (const std::string& text : texts) {
        std::optional<std::string> bytes = terminal.FromArgument(text);
        if (!bytes) throw ToolError(std::string(option) + ": '" + text + "' has characters that Shift-JIS lacks");
        converted.push_back(std::move(*bytes));
    }
    return converted;
}

}  // namespace

int main(int argc, char** argv) {
    Output out(stdout);
    Output err(stderr);
    Arguments arguments;
    CLI::App app("porresku-log: the sysop's tool for the board's message log (Shift-JIS, CR LF)", "porresku-log");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_flag("--raw", arguments.raw, "pass the log's bytes unchanged instead of converting Shift-JIS to UTF-8");

    CLI::App* check = app.add_subcommand("check", "report what the board would misread; exit status 1 when anything");
    AddLog(*check, arguments);

    CLI::App* list = app.add_subcommand("list", "the postings with their line numbers");
    AddLog(*list, arguments);
    list->add_option("--since", arguments.since, "from a date as the board's listing takes it (e.g. 12/24 or 2026/12/24 18:00)");
    list->add_option("--user", arguments.users, "only this user ID");
    list->add_option("--match", arguments.matches, "only postings with this text");

    CLI::App* exportCommand = app.add_subcommand("export", "every posting as UTF-8 text, CSV or JSON Lines");
    AddLog(*exportCommand, arguments);
    const std::map<std::string, ExportFormat> formats{
        {"text", ExportFormat::kText}, {"csv", ExportFormat::kCsv}, {"json", ExportFormat::kJson}};
    exportCommand->add_option("--format", arguments.format, "text, csv or json")
        ->transform(CLI::CheckedTransformer(formats));

    CLI::App* remove = app.add_subcommand("remove", "remove whole postings (a backup first: LOG.bak)");
    AddLog(*remove, arguments);
    remove->add_option("--user", arguments.users, "postings of this user ID");
    remove->add_option("--key", arguments.keys, "postings with this time key, \"MM/DD hh:mm\"");
    remove->add_option("--match", arguments.matches, "postings with this text");
    remove->add_option("--line", arguments.lines, "the posting (or stray line) at this line number")
        ->check(CLI::PositiveNumber);
    remove->add_flag("--dry-run", arguments.dryRun, "only show what would go");

    CLI::App* repair = app.add_subcommand("repair", "mend Ctrl-Z, line ends and broken lines (a backup first: LOG.bak)");
    AddLog(*repair, arguments);
    repair->add_flag("--dry-run", arguments.dryRun, "only show what would change");

    const std::vector<std::string> utf8 = Utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : utf8) pointers.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kFine;
    } catch (const CLI::ParseError& error) {
        err << "porresku-log: " << error.what() << " (porresku-log --help)\n";
        return kTrouble;
    }

    if (arguments.raw) out.KeepBytes();
    Terminal terminal(out, arguments.raw);
    try {
        const std::optional<std::string> log = SystemFileName(arguments.log);
        if (!log) throw ToolError(arguments.log + ": the system cannot open a file of that name");
        arguments.log = *log;
        if (check->parsed()) return RunCheck(arguments.log, terminal);
        if (repair->parsed()) return RunRepair(arguments.log, arguments.dryRun, terminal);
        if (exportCommand->parsed()) return RunExport(arguments.log, arguments.format, terminal);
        Selection selection;
        selection.users = InLog(arguments.users, "--user", terminal);
        selection.keys = arguments.keys;
        selection.matches = InLog(arguments.matches, "--match", terminal);
        selection.lines = arguments.lines;
        if (list->parsed()) return RunList(arguments.log, selection, arguments.since, terminal);
        return RunRemove(arguments.log, selection, arguments.dryRun, terminal);
    } catch (const ToolError& error) {
        out.Flush();
        err << "porresku-log: " << error.what() << '\n';
    } catch (const std::exception& error) {
        out.Flush();
        err << "porresku-log: " << error.what() << '\n';
    }
    return kTrouble;
}
