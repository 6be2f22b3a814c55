#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace KivComtradeLib {

namespace {

// Field `number` (1-based) as std::stod reads it; a failure names the field,
// so that the configuration reader can say which one of which line.
double numberField(const std::vector<std::string>& fields, std::size_t number, const char* name)
{
    const std::string& text = fields[number - 1];
    const std::string where = "field " + std::to_string(number) + " '" + name + "': ";
    if (StringHelper::isBlank(text)) // the recorder left the field out (a lone CR included)
        throw std::invalid_argument(where + "empty");
    try {
        return std::stod(text);
    } catch (const std::out_of_range&) {
        throw std::out_of_range(where + "'" + text + "' is out of range");
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument(where + "'" + text + "' is not a number");
    }
}

// A field recorders are known to leave empty; empty takes `fallback`.
double optionalNumberField(const std::vector<std::string>& fields, std::size_t number, const char* name,
                           double fallback)
{
    return StringHelper::isBlank(fields[number - 1]) ? fallback : numberField(fields, number, name);
}

} // namespace

AnalogChannelConfig::AnalogChannelConfig(int channelIndex, const std::string& line, int revision)
{
    load(channelIndex, StringHelper::split(line, ','), revision);
}

AnalogChannelConfig::AnalogChannelConfig(int channelIndex, bool extendedRange, int revision)
{
    index = channelIndex;
    setMinMax(extendedRange, revision);
}

AnalogChannelConfig::~AnalogChannelConfig() = default;

std::string AnalogChannelConfig::name() const
{
    return StringHelper::join(',', {channelId, phase, circuitComponent, unit});
}

std::string AnalogChannelConfig::channelInfo() const
{
    return StringHelper::join(',', {BaseChannelConfig::channelInfo(), unit, std::to_string(a),
                                    std::to_string(b), std::to_string(skew), std::to_string(min),
                                    std::to_string(max), std::to_string(primary),
                                    std::to_string(secondary), isSecondary ? "S" : "P"});
}

// An,ch_id,ph,ccbm,uu,a,b,skew,min,max[,primary,secondary,PS]
// Gain and offset are required; the recorders in the field leave the skew,
// the range and the ratio empty, and those take their neutral values.
void AnalogChannelConfig::load(int channelIndex, const std::vector<std::string>& fields, int revision)
{
    if (fields.size() < 10)
        throw std::invalid_argument("has " + std::to_string(fields.size()) +
                                    " fields where an analog channel line has at least 10");
    BaseChannelConfig::load(channelIndex, fields, revision);
    phase = fields[2];
    circuitComponent = fields[3];
    unit = fields[4];
    multiplier = multiplicator(unit);
    a = numberField(fields, 6, "gain");
    b = numberField(fields, 7, "offset");
    skew = optionalNumberField(fields, 8, "skew", 0.0) * 1e-6; // the file gives microseconds
    AnalogChannelConfig range(channelIndex, false, revision);
    min = optionalNumberField(fields, 9, "minimum", range.min);
    max = optionalNumberField(fields, 10, "maximum", range.max);
    loadExtValues(fields, revision);
}

// Fields 11-13 are read whenever the line has them: recorders that write an
// older revision year often use the later line layout, and a true 1991 line
// has exactly 10 fields.
void AnalogChannelConfig::loadExtValues(const std::vector<std::string>& fields, int /*revision*/)
{
    if (fields.size() <= 12) {
        isSecondary = true;
        primary = 1.0;
        secondary = 1.0;
        return;
    }
    primary = optionalNumberField(fields, 11, "primary", 1.0);
    secondary = optionalNumberField(fields, 12, "secondary", 1.0);
    const std::string& flag = fields[12];
    char first = flag.empty() ? '\0' : flag[0];
    if (first >= 'a' && first <= 'z')
        first = static_cast<char>(first - 'a' + 'A');
    isSecondary = first == 'S';
    // Values declared primary-side are brought to the secondary side once
    // here, gain and offset alike ((raw*a + b) * secondary/primary), so the
    // per-value conversion stays one multiply-add.
    if (!isSecondary) {
        const double ratio = secondary / primary;
        a = ratio * a;
        b = ratio * b;
    }
}

void AnalogChannelConfig::setMinMax(bool extendedRange, int revision)
{
    if (revision == 1999 && !extendedRange) {
        min = -32767.0;
        max = 32767.0;
    } else {
        min = -99999.0;
        max = 99999.0;
    }
}

std::string AnalogChannelConfig::valueUnit() const
{
    return multiplier != 1.0 && unit.size() >= 2 ? unit.substr(1) : unit;
}

double AnalogChannelConfig::multiplicator(std::string unitText) const
{
    if (unitText.size() < 2)
        return 1.0;
    switch (unitText[0]) {
    case 'k':
    case 'K':
        return 1000.0;
    case 'M':
        return 1e6;
    case 'm':
        return 0.001;
    default:
        return 1.0;
    }
}

} // namespace KivComtradeLib
