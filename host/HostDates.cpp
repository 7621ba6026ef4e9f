#include "HostDates.h"

#include <chrono>
#include <cmath>

namespace host_dates {

namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr sys_days kDayZero = sys_days(year_month_day(year(1899), month(12), day(30)));

}  // namespace

bool IsRealDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
    return year_month_day(year(y), month(static_cast<unsigned>(m)), day(static_cast<unsigned>(d))).ok();
}

double ToValue(const host_system::LocalStamp& when) {
    const sys_days date =
        sys_days(year_month_day(year(when.year), month(static_cast<unsigned>(when.month)),
                                day(static_cast<unsigned>(when.day))));
    const double days = static_cast<double>((date - kDayZero).count());
    const double seconds = when.hour * 3600.0 + when.minute * 60.0 + when.second;
    // Before day 0 the time of day counts away from zero, as the days do.
    return days + (days < 0 ? -seconds : seconds) / 86400.0;
}

std::optional<host_system::LocalStamp> FromValue(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return std::nullopt;
    const double days = std::trunc(value);
    long long seconds = std::llround(std::fabs(value - days) * 86400.0);
    long long wholeDays = static_cast<long long>(days);
    if (seconds == 86400) {
        seconds = 0;
        wholeDays += value < 0 ? -1 : 1;
    }
    const year_month_day date(kDayZero + std::chrono::days(wholeDays));
    const int y = static_cast<int>(date.year());
    if (y < 1 || y > 9999) return std::nullopt;
    return host_system::LocalStamp{y,
                                   static_cast<int>(static_cast<unsigned>(date.month())),
                                   static_cast<int>(static_cast<unsigned>(date.day())),
                                   static_cast<int>(seconds / 3600),
                                   static_cast<int>(seconds / 60 % 60),
                                   static_cast<int>(seconds % 60)};
}

}  // namespace host_dates
