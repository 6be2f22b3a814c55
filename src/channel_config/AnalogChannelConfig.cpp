#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <stdexcept>

namespace KivComtradeLib {

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
void AnalogChannelConfig::load(int channelIndex, const std::vector<std::string>& fields, int revision)
{
    if (fields.size() < 10)
        throw std::invalid_argument("analog channel line has fewer than 10 fields");
    BaseChannelConfig::load(channelIndex, fields, revision);
    phase = fields[2];
    circuitComponent = fields[3];
    unit = fields[4];
    multiplier = multiplicator(unit);
    a = std::stod(fields[5]);
    b = std::stod(fields[6]);
    skew = std::stod(fields[7]) * 1e-6; // the file gives microseconds
    min = std::stod(fields[8]);
    max = std::stod(fields[9]);
    loadExtValues(fields, revision);
}

void AnalogChannelConfig::loadExtValues(const std::vector<std::string>& fields, int revision)
{
    if (revision < 1999 || fields.size() <= 12) {
        isSecondary = true;
        primary = 1.0;
        secondary = 1.0;
        return;
    }
    primary = std::stod(fields[10]);
    secondary = std::stod(fields[11]);
    const std::string& flag = fields[12];
    char first = flag.empty() ? '\0' : flag[0];
    if (first >= 'a' && first <= 'z')
        first = static_cast<char>(first - 'a' + 'A');
    isSecondary = first == 'S';
    // Values declared primary-side are brought to the secondary side once
    // here, so the per-value conversion stays one multiply-add.
    if (!isSecondary)
        a = (secondary / primary) * a;
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
