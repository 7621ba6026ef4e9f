// remove: whole postings out of the log, every other byte kept as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "LogFiles.h"
#include "Postings.h"
#include "Selection.h"

namespace porresku_log {

// The stretches of the log that stay: everything but the units the
// selection takes, the bytes behind a Ctrl-Z included. `onTaken` sees each
// unit that goes. Reads the open file from its start; throws
// messagelog::LogError.
std::vector<KeptRange> PlanRemoval(platform::FileHandle file, const Selection& selection,
                                   const std::function<void(const LogUnit&)>& onTaken);

}  // namespace porresku_log
