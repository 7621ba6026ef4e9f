#include "board/BoardState.h"

namespace board {

BoardState& Board() {
    static BoardState state;
    return state;
}

}  // namespace board
