#pragma once
// What a write decides before it writes a byte: the records and channels it
// takes, each analog channel's coefficients and how its values become raw
// data values, and the time base. Writer.cpp builds the plan from a source
// and writes the files from it.

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/DateTime.h>
#include <KivComtradeLib/Enums.h>
#include <KivComtradeLib/SamplingRate.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KivComtradeLib {
namespace WritePlanning {

// How one analog channel's values become raw data values.
enum class RawMode {
    Exact,   // the source's integers, recovered from the values (bit for bit)
    Scaled,  // rounded onto a new gain and offset, clamped to the type's range
    Float,   // (u - b) / a as a float (an integer when that gives v back)
};

struct AnalogPlan {
    std::size_t source = 0;      // channel index in the source
    RawMode mode = RawMode::Scaled;
    // The line's texts: identifier, phase, component, unit.
    std::string id, phase, component, unit;
    // As written in the line: gain and offset before the ratio, skew in
    // microseconds, range, ratio and the flag.
    double gainText = 1.0, offsetText = 0.0, skewText = 0.0, minText = 0.0, maxText = 0.0;
    double primary = 1.0, secondary = 1.0;
    bool primarySide = false;
    // What the reader makes of them: value = (raw * a + b) * m.
    double a = 1.0, b = 0.0, m = 1.0;
    double invA = 1.0, invM = 1.0;
    double lo = 0.0, hi = 0.0;   // integer types: the raw range a value may take
    double marker = std::nan(""); // ASCII: an integer read as missing (NaN: none)
};

struct StatusPlan {
    std::size_t source = 0;
    std::string id, phase, component;
    int normalState = 0;
};

// x rounded to the nearest integer (ties either way), without the library
// call std::nearbyint costs on every value: adding 1.5 x 2^52 leaves no bits
// for a fraction. |x| >= 2^51 is returned as it is (no type holds it).
inline double roundNearest(double x)
{
    constexpr double kShift = 6755399441055744.0;
    return std::fabs(x) < 2251799813685248.0 ? (x + kShift) - kShift : x;
}

// The raw value of v under (a, b, m), rounded to the nearest integer; the
// neighbours are tried too so that the reader's (raw * a + b) * m gives v
// back. False when no integer does.
inline bool exactRaw(const AnalogPlan& p, double v, double& raw)
{
    raw = roundNearest((v * p.invM - p.b) * p.invA);
    if ((raw * p.a + p.b) * p.m == v)
        return true;
    for (const double step : {-1.0, 1.0}) {
        const double r = raw + step;
        if ((r * p.a + p.b) * p.m == v) {
            raw = r;
            return true;
        }
    }
    raw = roundNearest((v / p.m - p.b) / p.a);
    return (raw * p.a + p.b) * p.m == v;
}

// An exact raw value that the written type holds (not its missing marker).
inline bool exactRawInRange(const AnalogPlan& p, double v, double& raw)
{
    return exactRaw(p, v, raw) && raw >= p.lo && raw <= p.hi && raw != p.marker;
}

inline double scaledRaw(const AnalogPlan& p, double v)
{
    const double raw = roundNearest((v / p.m - p.b) / p.a);
    return raw < p.lo ? p.lo : raw > p.hi ? p.hi : raw;
}

// x with k * x == y exactly (the reader multiplies a written field by k), or
// the nearest try when none of the doubles around y / k gives it.
bool inverseOfProduct(double k, double y, double& x);

// The time base of the written records.
struct TimePlan {
    bool fromRates = false;          // else rate 0: the time stamps give the times
    std::vector<SamplingRate> rates; // the written table
    double timeMultiplier = 1.0;
    double stampUnit = 1e-6;         // seconds of one stamp before the multiplier
    double scale = 1e-6;             // stampUnit x timeMultiplier
    double origin = 0.0;             // source time of stamp 0
    std::string startLine, triggerLine;
};

// Everything a write decides.
struct Plan {
    Enums::DataFileType type = Enums::Binary;
    int revision = 2013;
    std::size_t first = 0, end = 0; // source records [first, end)
    std::vector<AnalogPlan> analogs;
    std::vector<StatusPlan> statuses;
    TimePlan time;
    std::string station, device;
    double frequency = 50.0;
    std::string timeCodeLine, qualityLine;
    std::size_t recordSize = 0; // binary types
    std::size_t statusWords = 0;

    std::size_t records() const { return end - first; }
};

constexpr double kMaxStamp = 4294967295.0;

// The time stamp written for a record at `time` on the source's axis.
inline std::uint32_t stampOf(double origin, double scale, double time)
{
    const double stamp = roundNearest((time - origin) / scale);
    return stamp > 0.0 ? (stamp < kMaxStamp ? static_cast<std::uint32_t>(stamp) : 0xFFFFFFFFu) : 0u;
}

inline std::uint32_t stampOf(const TimePlan& t, double time)
{
    return stampOf(t.origin, t.scale, time);
}

// How writing the data ended: Inexact when an exact channel met a value it
// cannot keep (the plan is changed and the data written again).
enum class DataResult { Written, Inexact, IoError };

// "dd/mm/yyyy,hh:mm:ss.ffffff" (nine digits when `nanoseconds`) of `dt`
// moved by `shift` seconds; dt must be valid.
std::string dateTimeLine(const DateTime& dt, double shift, bool nanoseconds);

// Seconds from `from` to `to` by the calendar (both valid).
double secondsBetween(const DateTime& from, const DateTime& to);

// Shortest text that reads back as the same double.
std::string number(double value);
std::string number(unsigned long long value);

} // namespace WritePlanning
} // namespace KivComtradeLib
