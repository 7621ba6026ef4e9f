// The message log's line format. The log "porresku.log" lies in the host's
// current folder and holds postings one after another: a header line (time
// key, a blank, the user ID) and one or two message lines (the handle prefix,
// then the text), each ended by CR LF. Readers take a CR as the end of a line
// (one LF after it is skipped), a lone LF as an ordinary byte, and a Ctrl-Z
// as the end of the readable text, as the log's oldest writers left it.
#pragma once

#include <string>
#include <string_view>

#include "board/DateTime.h"
#include "common/BoundedText.h"

namespace messagelog {

inline constexpr char kLogName[] = "porresku.log";
inline constexpr char kCtrlZ = 0x1A;

// A message line: handle prefix and text, at most 80 bytes.
using MessageLine = BoundedText<80>;
// A header line: time key, blank and user ID, at most 96 bytes.
using HeaderLine = BoundedText<96>;
// "MM/DD hh:mm", or "MM/DD" for a moment in the first second of a day.
using TimeKeyText = BoundedText<11>;
// The handle padded or cut to 14 bytes, then ">".
using HandlePrefixText = BoundedText<15>;

TimeKeyText TimeKey(const board::CivilTime& moment);
HandlePrefixText HandlePrefix(std::string_view handleName);

// True when byte 15 of a line is ">": the mark of a message line.
inline bool HasMessageMark(std::string_view line) { return line.size() >= 15 && line[14] == '>'; }

// True when a line has the shape the load takes for a header: "/" at byte 3
// and ":" at byte 9, as "MM/DD hh:mm" has them.
inline bool HasHeaderShape(std::string_view line) { return line.size() >= 9 && line[2] == '/' && line[8] == ':'; }

// A text as it may go into the log: CR, LF and Ctrl-Z would split its line
// or end the readable text, so each becomes a blank. Returns `text` itself
// when it has none, else `storage` holding the blanked copy.
std::string_view ScrubLineBreaks(std::string_view text, std::string& storage);

}  // namespace messagelog
