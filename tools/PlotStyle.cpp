#include "PlotStyle.h"

#include "TextFormat.h"

#include <KivComtradeLib/StringHelper.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace KivTools {

namespace {

// Fewest decimals (at most 6) that print every multiple of `step` exactly.
int decimalsFor(double step)
{
    for (int d = 0; d < 6; ++d) {
        const double scaled = step * std::pow(10.0, d);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled))
            return d;
    }
    return 6;
}

std::string fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    // "-0", "-0.0": a rounding of a tiny negative value.
    if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-')
        text.erase(0, 1);
    return text;
}

std::string upperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

Ticks roundTicks(double low, double high, int count)
{
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = -1.0;
        high = 1.0;
    }
    if (high - low <= 0.0) {
        const double pad = high != 0.0 ? std::fabs(high) * 0.1 : 1.0;
        low -= pad;
        high += pad;
    }
    const double raw = (high - low) / std::max(count, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    Ticks ticks;
    ticks.step = 10.0 * power;
    for (const double factor : {1.0, 2.0, 2.5, 5.0})
        if (raw <= factor * power * (1.0 + 1e-9)) {
            ticks.step = factor * power;
            break;
        }
    const double first = std::floor(low / ticks.step + 1e-9);
    const double last = std::ceil(high / ticks.step - 1e-9);
    for (double k = first; k <= last; k += 1.0)
        ticks.values.push_back(k * ticks.step);
    if (ticks.values.size() < 2)
        ticks.values.push_back(ticks.values.back() + ticks.step);
    return ticks;
}

std::string siLabel(double value, double step, double scale, const std::string& unit)
{
    static const char* const prefixes[] = {"p", "n", "\xC2\xB5", "m", "", "k", "M", "G", "T"};
    int exponent = 0;
    if (scale > 0.0 && std::isfinite(scale))
        exponent = static_cast<int>(std::floor(std::log10(scale) / 3.0 + 1e-9)) * 3;
    exponent = std::clamp(exponent, -12, 12);
    const double factor = std::pow(10.0, -exponent);
    std::string text = fixed(value * factor, decimalsFor(step * factor));
    const std::string prefix = prefixes[exponent / 3 + 4];
    if (!prefix.empty() || !unit.empty())
        text += " " + prefix + unit;
    return text;
}

TimeUnit timeUnitFor(double span)
{
    if (span < 2e-3)
        return {1e6, "\xC2\xB5s"};
    if (span < 2.0)
        return {1e3, "ms"};
    return {1.0, "s"};
}

std::string tickNumber(double value, double step)
{
    return fixed(value, decimalsFor(step));
}

std::string channelColour(const KivComtradeLib::AnalogChannelConfig& channel)
{
    const std::string phase = upperAscii(KivComtradeLib::StringHelper::trim(channel.phase));
    if (phase == "A" || phase == "L1")
        return "#b8860b"; // dark gold: phase A's yellow, legible on white
    if (phase == "B" || phase == "L2")
        return "#2e7d32";
    if (phase == "C" || phase == "L3")
        return "#c62828";
    if (phase == "N")
        return "#1565c0";
    static const char* const palette[] = {"#6a1b9a", "#00838f", "#ef6c00", "#4e342e",
                                          "#ad1457", "#283593", "#558b2f", "#37474f"};
    return palette[static_cast<std::size_t>(channel.index) % (sizeof palette / sizeof palette[0])];
}

std::string phaseLabel(const KivComtradeLib::BaseChannelConfig& channel)
{
    const std::string phase = shown(channel.phase);
    return phase.empty() ? std::string() : "ph " + phase;
}

namespace {

// East Asian wide characters (hanzi, kana, hangul, full-width forms) take
// about a whole em; the rest about 0.62 em (0.68 bold).
bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// Calls `onChar(begin, end, width)` for every character of a valid UTF-8 text.
template <typename OnChar>
void forEachChar(const std::string& text, double fontSize, bool bold, OnChar onChar)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const std::size_t end = std::min(text.size(), i + length);
        if (!onChar(i, end, fontSize * (isWide(c) ? 1.0 : bold ? 0.68 : 0.62)))
            return;
        i = end;
    }
}

} // namespace

double textWidth(const std::string& text, double fontSize, bool bold)
{
    double width = 0.0;
    forEachChar(text, fontSize, bold, [&](std::size_t, std::size_t, double w) {
        width += w;
        return true;
    });
    return width;
}

std::string fitText(const std::string& text, double width, double fontSize, bool bold)
{
    if (textWidth(text, fontSize, bold) <= width)
        return text;
    const double room = width - textWidth("\xE2\x80\xA6", fontSize, bold);
    double used = 0.0;
    std::size_t cut = 0;
    forEachChar(text, fontSize, bold, [&](std::size_t, std::size_t end, double w) {
        if (used + w > room)
            return false;
        used += w;
        cut = end;
        return true;
    });
    return text.substr(0, cut) + "\xE2\x80\xA6";
}

} // namespace KivTools
