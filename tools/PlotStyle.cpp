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

double textWidth(const std::string& text, double fontSize, bool bold)
{
    return static_cast<double>(utf8Length(text)) * fontSize * (bold ? 0.68 : 0.62);
}

std::string fitText(const std::string& text, double width, double fontSize, bool bold)
{
    if (textWidth(text, fontSize, bold) <= width)
        return text;
    const double perChar = fontSize * (bold ? 0.68 : 0.62);
    const auto keep = static_cast<std::size_t>(std::max(0.0, std::floor(width / perChar) - 1.0));
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (starts && chars++ == keep)
            break;
        out += text[i];
    }
    return out + "\xE2\x80\xA6";
}

} // namespace KivTools
