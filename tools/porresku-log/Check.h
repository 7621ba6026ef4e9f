// check: what the board would stumble over in the log, line by line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Pieces.h"
#include "Postings.h"
#include "Terminal.h"

namespace porresku_log {

struct Finding {
    std::int64_t line;  // 0 for none (a finding about the file)
    std::int64_t offset;
    std::string what;   // ASCII
    const LogLine* shown = nullptr;  // the line to show after it, if any
};

struct CheckSummary {
    std::int64_t findings = 0;
    std::int64_t postings = 0;
    std::int64_t lines = 0;
};

// Reads the open log from its start and reports each finding in order.
// Throws messagelog::LogError.
CheckSummary CheckLog(platform::FileHandle file, const std::function<void(const Finding&)>& onFinding);

// The same in pieces, on two threads where the machine has two processors:
// write(finding, output) writes each finding to an output that goes to
// `out` in the log's order. Throws messagelog::LogError.
using WriteFinding = std::function<void(const Finding&, Output&)>;
CheckSummary CheckLogInPieces(platform::FileHandle file, Output& out, const WriteFinding& write,
                              const PieceOptions& options = {});

}  // namespace porresku_log
