// The three things a caller sees of the board: the recent messages at
// logoff, the posting at logoff, and the listing since a date from the menu.
#pragma once


class Porresku;

namespace board {

// The last ten message lines, oldest first, between the heading and closing rows.
void ShowRecent(const Porresku& channel);
// Invites the caller to leave up to two lines and appends them to the log.
void PostMessage(const Porresku& channel);
// Lists the message lines posted since the caller's previous login or a typed date.
void ListSince(const Porresku& channel);

}  // namespace board
