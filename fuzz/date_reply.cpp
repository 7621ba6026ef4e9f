// A caller's reply to the listing's date prompt, and date-time values as a
// host's member record may hold them.
//
// Input: four bytes, the current year (little-endian, any int), then the reply.
// The same input's first eight bytes are also split as a raw double.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "board/DateTime.h"

namespace {

// A split moment is a real one.
void CheckParts(const board::CivilTime& moment, const char* what) {
    FUZZ_CHECK(board::IsValidDate(moment.year, moment.month, moment.day), "%s: %d-%d-%d", what, moment.year,
               moment.month, moment.day);
    FUZZ_CHECK(moment.hour >= 0 && moment.hour < 24 && moment.minute >= 0 && moment.minute < 60 &&
                   moment.second >= 0 && moment.second < 60 && moment.millisecond >= 0 && moment.millisecond < 1000,
               "%s: %d:%d:%d.%d", what, moment.hour, moment.minute, moment.second, moment.millisecond);
}

// The x87 unit keeps results in 80 bits until they are stored; the board
// stores them, so compare stored values.
double Stored(double value) {
    volatile double stored = value;
    return stored;
}

bool Same(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || Stored(*a) == Stored(*b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        if (const auto moment = board::SplitDateTime(value)) {
            CheckParts(*moment, "a split raw value");
            // Splitting rounds to the millisecond, and nothing more. Day 0 holds
            // the values from -1 to 1: its time of day is the magnitude.
            const bool dayZero = moment->year == 1899 && moment->month == 12 && moment->day == 30;
            const double wanted = dayZero ? std::fabs(value) : value;
            FUZZ_CHECK(std::fabs(board::ToDateTime(*moment) - wanted) <= 0.5 / 86'400'000 + 1e-15 * (1 + std::fabs(value)),
                       "%.17g splits into a moment %.17g away", value, board::ToDateTime(*moment) - wanted);
        }
    }

    if (size < 4) return 0;
    std::int32_t currentYear;
    std::memcpy(&currentYear, data, sizeof currentYear);
    const std::string_view reply(reinterpret_cast<const char*>(data + 4), size - 4);

    bool hasDate = false;
    const std::optional<board::DateTime> read = board::ReadDateReply(reply, currentYear, &hasDate);
    if (read) {
        // A date has a "/"; a time of day alone has none.
        FUZZ_CHECK(hasDate == (reply.find('/') != std::string_view::npos), "read with%s a date",
                   hasDate ? "" : "out");
        const std::optional<board::CivilTime> moment = board::SplitDateTime(*read);
        FUZZ_CHECK(moment.has_value(), "reply read as %.17g, which does not split", *read);
        CheckParts(*moment, "a read reply");
        // Replies name whole seconds, and a value made from parts gives them back.
        FUZZ_CHECK(moment->millisecond == 0, "a read reply has %d ms", moment->millisecond);
        FUZZ_CHECK(Stored(board::ToDateTime(*moment)) == *read, "%.17g does not come back whole", *read);
        // A time alone falls on 1899-12-30.
        if (reply.find('/') == std::string_view::npos) {
            FUZZ_CHECK(moment->year == 1899 && moment->month == 12 && moment->day == 30, "a time alone on %d-%d-%d",
                       moment->year, moment->month, moment->day);
        }
    }

    // Blanks before the reply, or after it, do not change what it says.
    const std::string padded = " " + std::string(reply);
    FUZZ_CHECK(Same(board::ReadDateReply(padded, currentYear), read), "a leading blank changes the reading");
    FUZZ_CHECK(Same(board::ReadDateReply(std::string(reply) + " ", currentYear), read),
               "a trailing blank changes the reading");
    return 0;
}
