// Marks on a whole stretch of the log (a filling of the reading buffer) at
// the bytes that may make a line unsound: the bytes where Shift-JIS goes
// wrong, and every LF but one just after a CR, which belongs to the line
// end (one at the stretch's first byte is marked: what came before is not
// known). A clean log then has almost no marks, so a reader can tell a
// line clean by the place of the next mark alone. A line with no mark from
// its first byte to its CR
// is Shift-JIS throughout and holds no LF, and needs no test of its own;
// a line with a mark gets the exact test, which also knows the places where
// the board cuts a character in half on purpose. Made 32 bytes at a time
// where the processor can, together with the scanner's marks of the CRs,
// it costs far less than a test per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace porresku_log {

// The widest vector instructions the marking uses: the processor's widest
// unless limited (tests check each way on any machine that has it).
enum class VectorWidth { kPlain, kSse2, kAvx2 };
void LimitMarkingTo(VectorWidth widest);
bool MachineHas(VectorWidth width);

class TroubleMarks {
public:
    // Marks `bytes` afresh, one bit per byte, and in the same pass does
    // what messagelog::MarkLineEnds does (the CRs into `crBits`, and the
    // Ctrl-Z it returns): the scanner's marker for each filling of its buffer.
    std::size_t Mark(const char* bytes, std::size_t size, std::uint32_t* crBits);
    static std::size_t MarkFilling(void* marks, const char* bytes, std::size_t size, std::uint32_t* crBits) {
        return static_cast<TroubleMarks*>(marks)->Mark(bytes, size, crBits);
    }
    // The first byte in [from, to) of the marked stretch that has a mark,
    // or `to`. Marks are few: most lines are passed by one compare with it.
    std::size_t NextFrom(std::size_t from, std::size_t to) const {
        if (from >= to) return to;
        std::size_t word = from / 32;
        std::uint32_t bits = words_[word] & (~std::uint32_t{0} << (from % 32));
        const std::size_t last = (to - 1) / 32;
        while (bits == 0) {
            if (word == last) return to;
            bits = words_[++word];
        }
        const std::size_t at = word * 32 + static_cast<std::size_t>(__builtin_ctz(bits));
        return at < to ? at : to;
    }
    // Where the stretch last marked begins.
    const char* base() const { return base_; }
    // Whether a byte in [from, to) of the marked stretch has a mark.
    bool AnyIn(std::size_t from, std::size_t to) const {
        std::size_t word = from / 32;
        const std::size_t last = (to - 1) / 32;
        std::uint32_t bits = words_[word] & (~std::uint32_t{0} << (from % 32));
        while (word != last) {
            if (bits != 0) return true;
            bits = words_[++word];
        }
        const unsigned tail = static_cast<unsigned>((to - 1) % 32);
        return (bits & (~std::uint32_t{0} >> (31 - tail))) != 0;
    }

private:
    std::vector<std::uint32_t> words_;
    const char* base_ = nullptr;
};

}  // namespace porresku_log
