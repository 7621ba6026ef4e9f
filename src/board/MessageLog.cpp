#include "board/MessageLog.h"

namespace board {

void LoadHistory() {}
void WriteQueuedPostingsAtUnload() {}

}  // namespace board
