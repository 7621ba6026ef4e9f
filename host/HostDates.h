// The host's own reckoning of date-time values (days since 1899-12-30, the
// fraction the time of day) for its member file. It shares no code with the
// plug-in, whose date code it serves: a fault there shows in the sessions
// instead of cancelling out.
#pragma once

#include <optional>

#include "HostSystem.h"

namespace host_dates {

// True when the date exists in the Gregorian calendar, years 1 to 9999.
bool IsRealDate(int year, int month, int day);
// The value of a local date and time.
double ToValue(const host_system::LocalStamp& when);
// The date and time of a value, to the second (rounded); empty when it is
// not finite or lies outside years 1 to 9999.
std::optional<host_system::LocalStamp> FromValue(double value);

}  // namespace host_dates
