#pragma once
// Scales, labels and colours of comtrade-plot: round tick values, SI
// prefixes, the time unit of a span, and colours that depend on the channel
// (its phase, else its number), never on its place in the picture.

#include <KivComtradeLib/AnalogChannelConfig.h>

#include <string>
#include <vector>

namespace KivTools {

// Ticks at round values (1, 2, 2.5 or 5 times a power of ten) that cover
// [low, high]: the scale runs from the first tick to the last.
struct Ticks {
    double step = 1.0;
    std::vector<double> values; // ascending, at least two
    double low() const { return values.front(); }
    double high() const { return values.back(); }
};
// About `count` intervals; an empty or one-value range gets a pad around it.
Ticks roundTicks(double low, double high, int count);

// "183.7 kV", "-1.2 kA", "500 mA", "0 V": `value` with the SI prefix that
// suits the scale's largest magnitude `scale` and as many decimals as the
// tick step needs.
std::string siLabel(double value, double step, double scale, const std::string& unit);

// Time unit for a span in seconds: µs below 2 ms, ms below 2 s, s beyond.
struct TimeUnit {
    double perSecond;
    const char* name;
};
TimeUnit timeUnitFor(double span);

// A tick value printed with the decimals the step needs ("-20", "12.5").
std::string tickNumber(double value, double step);

// Stroke colour of an analog channel: by phase (A or L1 dark gold, B or L2
// green, C or L3 red, N blue; any letter case), else from a fixed palette
// keyed by the channel's number.
std::string channelColour(const KivComtradeLib::AnalogChannelConfig& channel);

// "ph A" for a channel with a phase, empty otherwise.
std::string phaseLabel(const KivComtradeLib::BaseChannelConfig& channel);

// Estimated width in pixels of a valid UTF-8 `text` at `fontSize` (a
// proportional sans-serif font; East Asian wide characters a whole em);
// `bold` runs wider.
double textWidth(const std::string& text, double fontSize, bool bold = false);
// `text` cut at a character boundary and ended with "…" so that it fits
// `width` pixels; unchanged when it fits.
std::string fitText(const std::string& text, double width, double fontSize, bool bold = false);

} // namespace KivTools
