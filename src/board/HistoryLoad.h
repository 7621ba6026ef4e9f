// The recent history rebuilt from the log when the host loads the library.
#pragma once

namespace board {

// Clears the busy flag, adds postings that an earlier unload left in the
// side file, and rebuilds the recent history from the log's last ten message
// lines. A read error keeps what was read so far and goes to the diagnostic
// output.
void LoadHistory();

}  // namespace board
