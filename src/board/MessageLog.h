// The message log, the recent history and the busy flag: the board's state,
// shared by every channel for as long as the library is loaded.
#pragma once

namespace board {

// At library load: clears the busy flag and rebuilds the recent history from
// the log.
void LoadHistory();

// At library unload: writes postings still waiting for the log.
void WriteQueuedPostingsAtUnload();

}  // namespace board
