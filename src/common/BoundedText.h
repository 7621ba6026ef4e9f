// BoundedText<Room>: a byte string of at most Room bytes that cuts silently.
//
// Its layout is the one the host's records use: one length byte followed by
// room for Room bytes, no terminator. The same type therefore serves as a
// field of a packed host record and as an ordinary bounded string in memory.
// Storing a longer text keeps its first Room bytes, even when the cut falls
// inside a two-byte Shift-JIS character: every width on this board is a
// byte count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#pragma pack(push, 1)
template <std::size_t Room>
struct BoundedText {
    static_assert(Room >= 1 && Room <= 255, "a length byte counts at most 255");
    static constexpr std::size_t kRoom = Room;

    std::uint8_t length = 0;
    char bytes[Room];

    BoundedText() = default;
    BoundedText(std::string_view text) { assign(text); }  // NOLINT: cuts silently by design

    // Writes the length byte and the kept bytes only; the room behind them is
    // left as it was (the host's install record relies on that).
    void assign(std::string_view text) {
        const std::size_t kept = text.size() < Room ? text.size() : Room;
        length = static_cast<std::uint8_t>(kept);
        if (kept != 0) std::memcpy(bytes, text.data(), kept);
    }

    // Appends as much of `text` as there is room for.
    void append(std::string_view text) {
        const std::size_t have = size();
        const std::size_t room = Room - have;
        const std::size_t kept = text.size() < room ? text.size() : room;
        if (kept != 0) std::memcpy(bytes + have, text.data(), kept);
        length = static_cast<std::uint8_t>(have + kept);
    }

    // A length byte larger than the room (a record filled by somebody else)
    // reads as the room, never past it.
    std::size_t size() const { return length < Room ? length : Room; }
    bool empty() const { return size() == 0; }
    std::string_view view() const { return {bytes, size()}; }
    operator std::string_view() const { return view(); }  // NOLINT

    void clear() { length = 0; }
};
#pragma pack(pop)

template <std::size_t A, std::size_t B>
bool operator==(const BoundedText<A>& a, const BoundedText<B>& b) {
    return a.view() == b.view();
}
