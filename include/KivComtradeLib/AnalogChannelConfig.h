#pragma once

#include <KivComtradeLib/BaseChannelConfig.h>
#include <KivComtradeLib/Export.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// One analog channel line:
//   An,ch_id,ph,ccbm,uu,a,b,skew,min,max[,primary,secondary,PS]
// Fields 11-13 are read (as a group) whenever the line has 13 fields or more,
// whatever the revision. Empty skew, min, max, primary or secondary fields
// take 0, the setMinMax(false, revision) range, and 1; gain and offset are
// required.
class KIVCOMTRADE_API AnalogChannelConfig : public BaseChannelConfig {
public:
    std::string unit = "V";   // field 5, prefix letter included
    double multiplier = 1.0;  // factor of the unit's prefix (k, M, m)
    double a = 1.0;           // gain; already x secondary/primary for P channels
    double b = 0.0;           // offset; already x secondary/primary for P channels
    double skew = 0.0;        // seconds (the file gives microseconds)
    double min = 0.0;
    double max = 0.0;
    double primary = 1.0;
    double secondary = 1.0;
    bool isSecondary = true;  // field 13 begins with S/s, or is absent

    AnalogChannelConfig(int index, const std::string& line, int revision);
    // A string literal would otherwise convert to bool and pick the
    // constructor below, silently building a record without its line.
    AnalogChannelConfig(int index, const char* line, int revision)
        : AnalogChannelConfig(index, std::string(line), revision) {}
    AnalogChannelConfig(int index, bool extendedRange, int revision);
    AnalogChannelConfig(const AnalogChannelConfig&) = default;
    AnalogChannelConfig(AnalogChannelConfig&&) = default;
    AnalogChannelConfig& operator=(const AnalogChannelConfig&) = default;
    AnalogChannelConfig& operator=(AnalogChannelConfig&&) = default;
    ~AnalogChannelConfig() override;

    // "channelId,phase,circuitComponent,unit".
    std::string name() const override;
    // The 13 fields of a revision-1999 analog line, numbered by position.
    std::string channelInfo() const override;
    // Throws std::invalid_argument when the line has fewer than 10 fields or a
    // number field holds no number, std::out_of_range on an out-of-range one;
    // what() names the field ("field 8 'skew': 'x' is not a number").
    void load(int index, const std::vector<std::string>& fields, int revision) override;
    void loadExtValues(const std::vector<std::string>& fields, int revision);
    void setMinMax(bool extendedRange, int revision);
    double multiplicator(std::string unit) const;
    // The unit the values come out in: `unit` without the prefix letter that
    // `multiplier` has already applied to the values ("kV" gives "V").
    std::string valueUnit() const;

    // Engineering value of one raw data value: (raw * a + b) * multiplier.
    double GetRealValue(const double& raw) const { return (raw * a + b) * multiplier; }
};

} // namespace KivComtradeLib
