#pragma once
// How the host tools write texts and numbers. The library gives every text of
// a recording in UTF-8 already (the station line and the channel lines
// converted from their code page); what comes from elsewhere (paths, the
// date/time lines as written) is repaired with the library's UTF-8 rules.

#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BaseChannelConfig.h>
#include <KivComtradeLib/DateTime.h>

#include <cstddef>
#include <string>

namespace KivTools {

// A text for display: valid UTF-8 (toUtf8::repairUtf8), without the blanks
// around it.
std::string shown(const std::string& text);

// Number of characters (code points) of a valid UTF-8 text.
std::size_t utf8Length(const std::string& text);

// A channel's identifier for display.
std::string channelName(const KivComtradeLib::BaseChannelConfig& channel);

// The unit the channel's values come out in (AnalogChannelConfig::valueUnit),
// for display.
std::string valueUnit(const KivComtradeLib::AnalogChannelConfig& channel);

// "2026-03-14 09:41:07.250000", with the sub-second digits the file gives;
// the line as written when it is not a valid date/time; "-" when empty.
std::string formatDateTime(const KivComtradeLib::DateTime& time);

// Shortest decimal form of `value` with at most `digits` significant digits.
std::string formatNumber(double value, int digits = 6);

// Shortest decimal form that reads back as the same double.
std::string exactNumber(double value);
// A time in seconds rounded to the nanosecond, in the shortest form.
std::string timeNumber(double seconds);

} // namespace KivTools
