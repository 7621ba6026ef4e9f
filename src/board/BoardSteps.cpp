#include "board/BoardSteps.h"

#include "board/Porresku.h"

namespace board {

void ShowRecent(const Porresku&) {}
void PostMessage(const Porresku&) {}
void ListSince(const Porresku&) {}

}  // namespace board
