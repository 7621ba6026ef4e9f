// The commands, each in a file of its own; each returns the exit status and
// throws ToolError for a usage or file error.
#pragma once

#include <optional>
#include <string>

#include "Selection.h"

namespace porresku_log {

class Terminal;

enum ExitStatus { kFine = 0, kFound = 1, kTrouble = 2 };

int RunCheck(const std::string& log, Terminal& terminal);
int RunRepair(const std::string& log, bool dryRun, Terminal& terminal);
// `since`: the reply as typed (in the terminal's encoding), if given.
int RunList(const std::string& log, const Selection& selection, const std::optional<std::string>& since,
            Terminal& terminal);
enum class ExportFormat { kText, kCsv, kJson };
int RunExport(const std::string& log, ExportFormat format, Terminal& terminal);
int RunRemove(const std::string& log, const Selection& selection, bool dryRun, Terminal& terminal);

}  // namespace porresku_log
