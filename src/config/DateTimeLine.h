#pragma once
// The date/time lines of a configuration: "dd/mm/yyyy,hh:mm:ss.ssssss" since
// 1999, "mm/dd/yy,hh:mm:ss.ssssss" in 1991 files. The rules are those written
// in Cfg.h beside Cfg::start.

#include <KivComtradeLib/DateTime.h>

#include <string>

namespace KivComtradeLib {

// Parses one date/time line. `revYear` is the configuration's revision year.
// Never throws on any text: a line that cannot be a date and time comes back
// with valid false and `problem` saying why. `problem` is also set (with
// valid true) when the day and month had to be read in the other order.
DateTime parseDateTimeLine(const std::string& text, int revYear, std::string& problem);

// Seconds from `from` to `to` (negative when `to` is earlier), both valid:
// whole days and seconds in integers, nanoseconds exact.
double secondsBetween(const DateTime& from, const DateTime& to);

} // namespace KivComtradeLib
