#pragma once

#include <KivComtradeLib/Export.h>

#include <string>

namespace KivComtradeLib {

// One date/time line of a configuration: "dd/mm/yyyy,hh:mm:ss.ssssss", or
// "mm/dd/yy,..." in 1991 files (the rules are beside Cfg::start). When valid is
// false, only text and fractionDigits are filled.
class KIVCOMTRADE_API DateTime {
public:
    std::string text;       // the line as written
    bool valid = false;     // false: missing, unparsable or an impossible date
    int year = 0;           // four digits (two-digit years are mapped, see Cfg.h)
    int month = 0;          // 1-12
    int day = 0;            // 1-31
    int hour = 0;           // 0-23
    int minute = 0;         // 0-59
    int second = 0;         // 0-59 (60 on a leap second)
    long long nanosecond = 0; // within the second, 0-999999999
    int fractionDigits = 0; // digits the file writes after the seconds' point
};

} // namespace KivComtradeLib
