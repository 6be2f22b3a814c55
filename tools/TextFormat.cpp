#include "TextFormat.h"

#include <KivComtradeLib/StringHelper.h>
#include <KivComtradeLib/ToUtf8.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace KivTools {

std::string shown(const std::string& text)
{
    return KivComtradeLib::StringHelper::trim(toUtf8::repairUtf8(text));
}

std::size_t utf8Length(const std::string& text)
{
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

std::string channelName(const KivComtradeLib::BaseChannelConfig& channel)
{
    return shown(channel.channelId);
}

std::string valueUnit(const KivComtradeLib::AnalogChannelConfig& channel)
{
    return shown(channel.valueUnit());
}

std::string formatDateTime(const KivComtradeLib::DateTime& time)
{
    if (!time.valid)
        return time.text.empty() ? "-" : shown(time.text);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    std::string text = buffer;
    if (time.fractionDigits > 0) {
        std::snprintf(buffer, sizeof buffer, "%09lld", time.nanosecond);
        text += '.';
        text += std::string(buffer).substr(0, static_cast<std::size_t>(std::min(time.fractionDigits, 9)));
    }
    return text;
}

std::string formatNumber(double value, int digits)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    std::string text = buffer;
    if (text == "-0")
        text = "0";
    return text;
}

std::string exactNumber(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
    return std::string(buffer, result.ptr);
}

std::string timeNumber(double seconds)
{
    // Times relative to the trigger carry the rounding of the subtraction
    // (-0.001999999999999995): no recording times finer than a nanosecond.
    return exactNumber(std::round(seconds * 1e9) / 1e9);
}

} // namespace KivTools
