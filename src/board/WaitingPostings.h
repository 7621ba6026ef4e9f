// Postings waiting for the log: made while a listing held it, or while
// another program did. They are written ahead of the next posting, when the
// listing ends, or at unload. What the log cannot take by the time the
// library is unloaded (another program held it for seconds) waits in a side
// file beside the log, "porresku.pending", in the log's own format: whole
// postings, Shift-JIS, CR LF. The next load adds them to the log, in order,
// and removes the file.
#pragma once

namespace board {

inline constexpr char kPendingName[] = "porresku.pending";

// Writes the queued postings at the end of the log, oldest first, waiting a
// moment for a log that another program holds. Postings that reached the log
// leave the queue. False when the log could not be opened (the queue stays).
// Throws LogError on an input/output error after opening; the log keeps no
// part of a posting that failed.
bool WriteQueuedPostings();

// At library unload: writes the postings still waiting into the log, trying
// for a few seconds while another program holds it; what the log cannot take
// goes to the side file. Reports on the diagnostic output.
void WriteQueuedPostingsAtUnload();

// At library load, before the history is rebuilt: appends the side file's
// postings to the log and removes it. A side file that is already at the
// log's end (a load that stopped between the two) is only removed, so no
// posting is written twice. A side file that cannot be read, or a log that
// cannot take it, stays for the next load, with a diagnostic line.
void RecoverPendingPostings();

}  // namespace board
