#include "writer/RawRecords.h"
#include "writer/WritePlan.h"

#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/Writer.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <numeric>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace KivComtradeLib {

using namespace WritePlanning;

const char* WriteReport::describe(Result result)
{
    switch (result) {
    case Written: return "written";
    case BadOptions: return "bad options";
    case EmptyWindow: return "empty window";
    case UnknownChannel: return "unknown channel";
    case NoChannels: return "no channels";
    case BadValues: return "bad values";
    case CannotWrite: return "cannot write";
    case NotLoaded: return "not loaded";
    }
    return "unknown result";
}

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr unsigned long long kMaxRecords = 2147483647ULL; // last sample numbers are read as 32-bit longs

// ---- sources -------------------------------------------------------------

// A loaded Comtrade: one Sample per record.
struct SampleSource {
    const std::vector<Sample>& samples;
    std::size_t count() const { return samples.size(); }
    const double* times() const { return nullptr; }
    double time(std::size_t k) const { return samples[k].time; }
    double value(std::size_t c, std::size_t k) const
    {
        const std::vector<double>& values = samples[k].analogValues;
        return c < values.size() ? values[c] : std::numeric_limits<double>::quiet_NaN();
    }
    bool state(std::size_t c, std::size_t k) const
    {
        const std::vector<bool>& states = samples[k].binaryValues;
        return c < states.size() && states[c];
    }
    // Channel c's values of records [k, k + n), gathered into `scratch`.
    const double* values(std::size_t c, std::size_t k, std::size_t n, double* scratch) const
    {
        for (std::size_t i = 0; i < n; ++i)
            scratch[i] = value(c, k + i);
        return scratch;
    }
    const std::uint8_t* states(std::size_t c, std::size_t k, std::size_t n, std::uint8_t* scratch) const
    {
        for (std::size_t i = 0; i < n; ++i)
            scratch[i] = state(c, k + i);
        return scratch;
    }
};

// A ColumnarRecording: one row per channel.
struct ColumnSource {
    const ColumnarRecording& rec;
    std::size_t count() const { return rec.count; }
    const double* times() const { return rec.time.data(); }
    double time(std::size_t k) const { return rec.time[k]; }
    double value(std::size_t c, std::size_t k) const { return rec.analog[c * rec.count + k]; }
    bool state(std::size_t c, std::size_t k) const { return rec.status[c * rec.count + k] != 0; }
    const double* values(std::size_t c, std::size_t k, std::size_t, double*) const
    {
        return rec.analog.data() + c * rec.count + k;
    }
    const std::uint8_t* states(std::size_t c, std::size_t k, std::size_t, std::uint8_t*) const
    {
        return rec.status.data() + c * rec.count + k;
    }
};

// ---- texts ---------------------------------------------------------------

std::string lower(std::string text)
{
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return text;
}

std::string trim(const std::string& text)
{
    const auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    std::size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// A field of a configuration line cannot hold the separator or a line end.
bool badField(const std::string& text)
{
    return text.find_first_of(",\r\n") != std::string::npos;
}

// ---- the request ---------------------------------------------------------

struct Failure {
    WriteReport::Result result;
    std::string message;
};

// Output names: the pair's .cfg and .dat (extensions in the letter case of the
// name given), or the .cff alone.
struct Targets {
    bool combined = false;
    std::string cfg, dat, hdr, inf, cff;
};

bool targetsOf(const std::string& path, Targets& targets)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 4 != path.size())
        return false;
    const std::string ext = path.substr(dot + 1);
    const std::string lowered = lower(ext);
    const bool upper = ext != lowered;
    const std::string base = path.substr(0, dot + 1);
    const auto name = [&](const char* e) { return base + (upper ? std::string(e) : lower(e)); };
    if (lowered == "cff") {
        targets.combined = true;
        targets.cff = path;
        return true;
    }
    if (lowered != "cfg" && lowered != "dat")
        return false;
    targets.cfg = name("CFG");
    targets.dat = name("DAT");
    targets.hdr = name("HDR");
    targets.inf = name("INF");
    return true;
}

// Channel numbers in file order, 1-based: "A3" or "3" analog, "D2" status.
bool channelNumber(const std::string& item, bool& analog, std::size_t& number)
{
    std::string digits = item;
    analog = true;
    if (!digits.empty() && (digits[0] == 'A' || digits[0] == 'a' || digits[0] == 'D' || digits[0] == 'd')) {
        analog = digits[0] == 'A' || digits[0] == 'a';
        digits.erase(0, 1);
    }
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    number = static_cast<std::size_t>(std::stoul(digits));
    return number >= 1;
}

bool selectChannels(const Cfg& cfg, const std::vector<std::string>& items, std::vector<std::size_t>& analogs,
                    std::vector<std::size_t>& statuses, Failure& failure)
{
    if (items.empty()) {
        for (std::size_t c = 0; c < cfg.analogChannels.size(); ++c)
            analogs.push_back(c);
        for (std::size_t c = 0; c < cfg.binaryChannels.size(); ++c)
            statuses.push_back(c);
        return true;
    }
    const auto add = [](std::vector<std::size_t>& list, std::size_t c) {
        if (std::find(list.begin(), list.end(), c) == list.end())
            list.push_back(c);
    };
    for (const std::string& raw : items) {
        const std::string item = trim(raw);
        bool analog = true;
        std::size_t number = 0;
        if (channelNumber(item, analog, number)) {
            if (analog && number <= cfg.analogChannels.size()) {
                add(analogs, number - 1);
                continue;
            }
            if (!analog && number <= cfg.binaryChannels.size()) {
                add(statuses, number - 1);
                continue;
            }
        }
        // Identifiers: exactly, then in any ASCII letter case; analog first.
        bool found = false;
        for (int pass = 0; pass < 2 && !found; ++pass) {
            const auto same = [&](const std::string& id) {
                return pass == 0 ? trim(id) == item : lower(trim(id)) == lower(item);
            };
            for (std::size_t c = 0; c < cfg.analogChannels.size() && !found; ++c)
                if (same(cfg.analogChannels[c].channelId))
                    add(analogs, c), found = true;
            for (std::size_t c = 0; c < cfg.binaryChannels.size() && !found; ++c)
                if (same(cfg.binaryChannels[c].channelId))
                    add(statuses, c), found = true;
        }
        if (!found) {
            failure = {WriteReport::UnknownChannel, "no channel is called '" + item + "'"};
            return false;
        }
    }
    return true;
}

// ---- time base -------------------------------------------------------------

SamplingRate rateLine(double rate, unsigned long long endSample)
{
    SamplingRate line;
    line.rate = rate;
    line.endSample = endSample;
    return line;
}

template <class Src>
void planTime(const Src& src, const Cfg& cfg, Plan& plan)
{
    TimePlan& t = plan.time;
    const bool nanoseconds = cfg.timeStampUnit < 1e-6;
    t.stampUnit = nanoseconds ? 1e-9 : 1e-6;
    t.timeMultiplier = cfg.timeMultiplier > 0.0 && std::isfinite(cfg.timeMultiplier) ? cfg.timeMultiplier : 1.0;
    const unsigned long long first = plan.first, end = plan.end;
    double shift = 0.0;
    t.fromRates = cfg.allRatesNonZero && !cfg.samplingRates.empty();
    if (t.fromRates) {
        // The source's segments that the records cross, cut to them and renumbered.
        unsigned long long start = 0;
        for (const SamplingRate& rate : cfg.samplingRates) {
            const unsigned long long stop = rate.endSample;
            if (stop > first && start < end && stop > start)
                t.rates.push_back(rateLine(rate.rate, std::min(stop, end) - first));
            start = std::max(start, stop);
            if (start >= end)
                break;
        }
        if (t.rates.empty())
            t.rates.push_back(rateLine(cfg.samplingRates.back().rate, end - first));
        t.rates.back().endSample = end - first; // records past the table run on at its last rate
        shift = src.time(plan.first);
        t.origin = shift;
    } else {
        double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
        for (std::size_t k = plan.first; k < plan.end; ++k) {
            const double time = src.time(k);
            if (std::isfinite(time)) {
                lowest = std::min(lowest, time);
                highest = std::max(highest, time);
            }
        }
        if (!std::isfinite(lowest))
            lowest = highest = 0.0;
        // From the source's own stamps when the whole recording is written.
        t.origin = plan.first == 0 && lowest >= 0.0 ? 0.0 : lowest;
        shift = t.origin;
        const double span = (highest - t.origin) / (t.stampUnit * t.timeMultiplier);
        if (span > kMaxStamp)
            t.timeMultiplier *= std::ceil(span / kMaxStamp);
        t.rates.push_back(rateLine(0.0, end - first));
    }
    t.scale = t.stampUnit * t.timeMultiplier;
    DateTime epoch;
    epoch.valid = true;
    epoch.year = 1970;
    epoch.month = epoch.day = 1;
    const DateTime& start = cfg.start.valid ? cfg.start : epoch;
    t.startLine = dateTimeLine(start, shift, nanoseconds);
    t.triggerLine = dateTimeLine(cfg.trigger.valid ? cfg.trigger : start, 0.0, nanoseconds);
}

// ---- analog channels -------------------------------------------------------

double scaledRange(Enums::DataFileType type)
{
    switch (type) {
    case Enums::Binary: return 32767.0;
    case Enums::Binary32: return 2147483647.0;
    default: return 99998.0; // ASCII: 99999 is the missing-value marker of 1999
    }
}

// Sets the reader's coefficients from the written texts, as the reader
// derives them (a primary-side line is brought to the secondary side).
void settle(AnalogPlan& p)
{
    const double ratio = p.secondary / p.primary;
    p.a = p.primarySide ? ratio * p.gainText : p.gainText;
    p.b = p.primarySide ? ratio * p.offsetText : p.offsetText;
    p.invA = p.a != 0.0 ? 1.0 / p.a : 0.0; // a gain of 0: every value is the offset, raw 0
    p.invM = 1.0 / p.m;
}

// Gain and offset texts for effective (a, b) on the plan's side; false when
// the side cannot reproduce them exactly.
bool placeCoefficients(AnalogPlan& p, double a, double b)
{
    if (!p.primarySide) {
        p.gainText = a;
        p.offsetText = b;
        return true;
    }
    const double ratio = p.secondary / p.primary;
    const bool exactA = inverseOfProduct(ratio, a, p.gainText);
    const bool exactB = inverseOfProduct(ratio, b, p.offsetText);
    return exactA && exactB;
}

void rangeFor(const Plan& plan, AnalogPlan& p)
{
    switch (plan.type) {
    case Enums::Binary:
        p.lo = -32767.0, p.hi = 32767.0;
        break;
    case Enums::Binary32:
        p.lo = -2147483647.0, p.hi = 2147483647.0;
        break;
    case Enums::Ascii:
        p.lo = -2147483647.0, p.hi = 2147483647.0; // -2^31 marks a missing value in the block below
        // A 2013 reader takes 99999 for missing only where the range cannot hold it.
        p.marker = plan.revision < 2013 || p.maxText < 99999.0 ? 99999.0 : std::nan("");
        break;
    default:
        p.lo = -std::numeric_limits<double>::infinity(), p.hi = -p.lo;
    }
}

// The lowest and highest of v / m over the written records; false on an
// infinite value.
template <class Src>
bool spanOf(const Src& src, const Plan& plan, const AnalogPlan& p, double& lo, double& hi)
{
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    for (std::size_t k = plan.first; k < plan.end; ++k) {
        const double v = src.value(p.source, k);
        if (std::isnan(v))
            continue;
        if (std::isinf(v))
            return false;
        const double u = v / p.m;
        lo = std::min(lo, u);
        hi = std::max(hi, u);
    }
    if (lo > hi)
        lo = hi = 0.0;
    return std::isfinite(lo) && std::isfinite(hi);
}

template <class Src>
bool makeScaled(const Src& src, const Plan& plan, AnalogPlan& p, Failure& failure, const std::string& label)
{
    double lo = 0.0, hi = 0.0;
    if (!spanOf(src, plan, p, lo, hi)) {
        failure = {WriteReport::BadValues, label + " holds a value (inf) that " + Converters::dataFileTypeKeyword(plan.type) +
                                               " cannot hold with any gain"};
        return false;
    }
    const double range = plan.type == Enums::Ascii ? 99998.0 : scaledRange(plan.type);
    const double half = hi / 2.0 - lo / 2.0;
    double b = lo / 2.0 + hi / 2.0;
    // Half a step of margin, so that rounding never leaves the range.
    double a = half / (range - 0.5);
    if (!(a > 0.0) || !std::isfinite(a))
        a = 1.0;
    if (!std::isfinite(b))
        b = 0.0;
    p.mode = RawMode::Scaled;
    placeCoefficients(p, a, b);
    settle(p);
    p.minText = -range;
    p.maxText = range;
    p.lo = -range;
    p.hi = range;
    p.marker = std::nan("");
    return true;
}

// FLOAT32: the gain and offset stay unless a value would not fit a float.
template <class Src>
bool makeFloat(const Src& src, const Plan& plan, AnalogPlan& p, Failure& failure, const std::string& label)
{
    p.mode = RawMode::Float;
    if (!(p.a != 0.0 && std::isfinite(p.a) && std::isfinite(p.b))) {
        p.primarySide = false;
        p.gainText = 1.0, p.offsetText = 0.0;
        settle(p);
    }
    double lo = 0.0, hi = 0.0;
    if (!spanOf(src, plan, p, lo, hi)) {
        failure = {WriteReport::BadValues, label + " holds a value (inf) that FLOAT32 cannot hold with any gain"};
        return false;
    }
    const double biggest = std::max(std::fabs((lo - p.b) / p.a), std::fabs((hi - p.b) / p.a));
    if (!(biggest <= 1e38)) {
        p.primarySide = false;
        p.offsetText = 0.0;
        p.gainText = std::max(std::fabs(lo), std::fabs(hi)) / 1e38;
        settle(p);
    }
    return true;
}

template <class Src>
bool planAnalog(const Src& src, const Cfg& cfg, const WriteOptions& options, Plan& plan, std::size_t c,
                Failure& failure, std::vector<std::string>& warnings)
{
    const AnalogChannelConfig& config = cfg.analogChannels[c];
    AnalogPlan p;
    p.source = c;
    p.id = config.channelId;
    p.phase = config.phase;
    p.component = config.circuitComponent;
    p.unit = config.unit;
    p.m = config.multiplier;
    p.primary = config.primary;
    p.secondary = config.secondary;
    const double ratio = p.secondary / p.primary;
    const bool ratioUsable = std::isfinite(ratio) && ratio != 0.0;
    p.primarySide = options.side == WriteOptions::PrimarySide    ? ratioUsable
                    : options.side == WriteOptions::SecondarySide ? false
                                                                  : !config.isSecondary && ratioUsable;
    p.minText = config.min;
    p.maxText = config.max;
    double skew = 0.0;
    inverseOfProduct(1e-6, config.skew, skew);
    p.skewText = skew;
    const std::string label = "analog channel " + std::to_string(c + 1) + " '" + trim(p.id) + "'";
    if (badField(p.id) || badField(p.phase) || badField(p.component) || badField(p.unit)) {
        failure = {WriteReport::BadValues, "a name holds a comma or a line end: '" + p.id + "'"};
        return false;
    }
    const bool integerSource = cfg.dataFileType != Enums::Float32;
    bool exactCoefficients = placeCoefficients(p, config.a, config.b);
    if (!exactCoefficients && integerSource && p.primarySide == config.isSecondary) {
        // The ratio cannot give the gain or offset back bit for bit on the side
        // asked for: the source's side keeps the values.
        p.primarySide = !config.isSecondary;
        exactCoefficients = placeCoefficients(p, config.a, config.b);
        warnings.push_back(label + " is written on the " + (p.primarySide ? "primary" : "secondary") +
                           " side, as in the source: on the other its gain would not read back exactly");
    }
    settle(p);
    if (plan.type == Enums::Float32) {
        if (!makeFloat(src, plan, p, failure, label))
            return false;
    } else if (integerSource && exactCoefficients && p.a == config.a && p.b == config.b && std::isfinite(config.a)) {
        p.mode = RawMode::Exact;
        rangeFor(plan, p);
    } else if (!makeScaled(src, plan, p, failure, label)) {
        return false;
    }
    plan.analogs.push_back(std::move(p));
    return true;
}

// Whether every value of an exact channel has a raw value the type holds.
template <class Src>
bool exactHolds(const Src& src, const Plan& plan, const AnalogPlan& p)
{
    double raw = 0.0;
    for (std::size_t k = plan.first; k < plan.end; ++k) {
        const double v = src.value(p.source, k);
        if (!std::isnan(v) && !exactRawInRange(p, v, raw))
            return false;
    }
    return true;
}

// Exact channels whose values do not all come back get a new gain and offset.
template <class Src>
bool rescaleInexact(const Src& src, Plan& plan, unsigned& rescaled, Failure& failure)
{
    for (AnalogPlan& p : plan.analogs) {
        if (p.mode != RawMode::Exact || exactHolds(src, plan, p))
            continue;
        if (!makeScaled(src, plan, p, failure, "analog channel " + std::to_string(p.source + 1)))
            return false;
        ++rescaled;
    }
    return true;
}

// ---- the configuration -----------------------------------------------------

std::string cfgText(const Plan& plan)
{
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + kLineEnd; };
    line(plan.station + "," + plan.device + "," + std::to_string(plan.revision));
    const std::size_t na = plan.analogs.size(), nd = plan.statuses.size();
    line(std::to_string(na + nd) + "," + std::to_string(na) + "A," + std::to_string(nd) + "D");
    for (std::size_t i = 0; i < na; ++i) {
        const AnalogPlan& p = plan.analogs[i];
        line(std::to_string(i + 1) + "," + p.id + "," + p.phase + "," + p.component + "," + p.unit + "," +
             number(p.gainText) + "," + number(p.offsetText) + "," + number(p.skewText) + "," +
             number(p.minText) + "," + number(p.maxText) + "," + number(p.primary) + "," +
             number(p.secondary) + "," + (p.primarySide ? "P" : "S"));
    }
    for (std::size_t i = 0; i < nd; ++i) {
        const StatusPlan& s = plan.statuses[i];
        line(std::to_string(i + 1) + "," + s.id + "," + s.phase + "," + s.component + "," +
             std::to_string(s.normalState));
    }
    line(number(plan.frequency));
    const TimePlan& t = plan.time;
    if (t.fromRates) {
        line(std::to_string(t.rates.size()));
        for (const SamplingRate& rate : t.rates)
            line(number(rate.rate) + "," + number(rate.endSample));
    } else {
        line("0");
        line("0," + number(static_cast<unsigned long long>(plan.records())));
    }
    line(t.startLine);
    line(t.triggerLine);
    line(Converters::dataFileTypeKeyword(plan.type));
    line(number(t.timeMultiplier));
    if (plan.revision >= 2013) {
        line(plan.timeCodeLine);
        line(plan.qualityLine);
    }
    return out;
}

// ---- the data ---------------------------------------------------------------

inline void putU16(char* p, std::uint32_t v)
{
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
}

inline void putU32(char* p, std::uint32_t v)
{
    putU16(p, v & 0xFFFF);
    putU16(p + 2, v >> 16);
}

// Records go into a buffer of about 1 MiB that is written when full.
class Output {
public:
    Output(std::FILE* file, std::size_t maxRecord) : _file(file), _buffer(kChunk + maxRecord), _end(_buffer.data()) {}
    // Room for one record (at most maxRecord bytes); `done` marks what it used.
    char* at() { return _end; }
    bool done(char* end)
    {
        _end = end;
        return static_cast<std::size_t>(_end - _buffer.data()) < kChunk || flush();
    }
    bool flush()
    {
        const std::size_t n = static_cast<std::size_t>(_end - _buffer.data());
        _end = _buffer.data();
        return std::fwrite(_buffer.data(), 1, n, _file) == n;
    }

private:
    static constexpr std::size_t kChunk = 1u << 20;
    std::FILE* _file;
    std::vector<char> _buffer;
    char* _end;
};

inline char* putNumber(char* p, long long value)
{
    return std::to_chars(p, p + 24, value).ptr;
}

// Values are turned into raw data values a block of records at a time, channel
// by channel (a columnar source is read in its own order), then laid out
// record by record.
constexpr std::size_t kBlock = 4096;
constexpr std::uint32_t kMissingWord = 0x80000000u; // -2^31: the marker of BINARY32, a missing value below

// Raw data values of one channel, as the 32 bits of an int32 or a float.
// False when an exact channel has a value whose source integer the written
// type cannot hold (or that is no integer under its gain and offset).
bool rawBlock(const AnalogPlan& p, const double* v, std::size_t n, std::uint32_t* out)
{
    switch (p.mode) {
    case RawMode::Exact: {
        // Branch-free first: round, check that the reader gets v back and
        // that the type holds it; a block with any miss (a missing value
        // among them) is done again value by value.
        constexpr double kShift = 6755399441055744.0;
        bool miss = false;
        for (std::size_t i = 0; i < n; ++i) {
            const double x = v[i];
            const double r = ((x * p.invM - p.b) * p.invA + kShift) - kShift;
            miss |= !((r * p.a + p.b) * p.m == x) | !(r >= p.lo) | !(r <= p.hi) | (r == p.marker);
            const double held = r >= p.lo ? (r <= p.hi ? r : p.hi) : p.lo;
            out[i] = static_cast<std::uint32_t>(static_cast<std::int32_t>(held));
        }
        if (!miss)
            return true;
        for (std::size_t i = 0; i < n; ++i) {
            const double x = v[i];
            double r = 0.0;
            if (x != x)
                out[i] = kMissingWord;
            else if (exactRawInRange(p, x, r))
                out[i] = static_cast<std::uint32_t>(static_cast<std::int32_t>(r));
            else
                return false;
        }
        return true;
    }
    case RawMode::Scaled:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = v[i] != v[i] ? kMissingWord : static_cast<std::uint32_t>(static_cast<std::int32_t>(scaledRaw(p, v[i])));
        return true;
    case RawMode::Float:
        for (std::size_t i = 0; i < n; ++i) {
            const double x = v[i];
            float f = std::numeric_limits<float>::quiet_NaN();
            double r = 0.0;
            if (x == x)
                f = static_cast<float>(exactRaw(p, x, r) && std::fabs(r) <= 16777216.0 ? r : (x / p.m - p.b) / p.a);
            std::memcpy(&out[i], &f, sizeof f);
        }
        return true;
    }
    return false;
}

// One block: raw values, status words and time stamps of records [k, k + n).
struct Block {
    std::vector<std::uint32_t> raw;    // channel i at [i * kBlock, ...)
    std::vector<std::uint16_t> words;  // status word w at [w * kBlock, ...)
    std::vector<std::uint32_t> stamps;
    std::vector<double> scratch;
    std::vector<std::uint8_t> stateScratch;

    explicit Block(const Plan& plan)
        : raw(plan.analogs.size() * kBlock), words(plan.statusWords * kBlock), stamps(kBlock), scratch(kBlock),
          stateScratch(kBlock)
    {
    }

    template <class Src>
    bool fill(const Src& src, const Plan& plan, std::size_t k, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            stamps[i] = stampOf(plan.time, src.time(k + i));
        for (std::size_t c = 0; c < plan.analogs.size(); ++c) {
            const AnalogPlan& p = plan.analogs[c];
            if (!rawBlock(p, src.values(p.source, k, n, scratch.data()), n, raw.data() + c * kBlock))
                return false;
        }
        std::fill(words.begin(), words.end(), 0);
        for (std::size_t s = 0; s < plan.statuses.size(); ++s) {
            const std::uint8_t* st = src.states(plan.statuses[s].source, k, n, stateScratch.data());
            std::uint16_t* w = words.data() + (s / 16) * kBlock;
            const unsigned bit = static_cast<unsigned>(s % 16);
            for (std::size_t i = 0; i < n; ++i)
                w[i] = static_cast<std::uint16_t>(w[i] | ((st[i] != 0 ? 1u : 0u) << bit));
        }
        return true;
    }
};

template <class Src>
DataResult writeBinary(const Src& src, const Plan& plan, Output& out)
{
    Block block(plan);
    const std::size_t na = plan.analogs.size();
    const bool narrow = plan.type == Enums::Binary;
    for (std::size_t k = plan.first; k < plan.end; k += kBlock) {
        const std::size_t n = std::min(kBlock, plan.end - k);
        if (!block.fill(src, plan, k, n))
            return DataResult::Inexact;
        for (std::size_t i = 0; i < n; ++i) {
            char* p = out.at();
            putU32(p, static_cast<std::uint32_t>(k + i - plan.first + 1));
            putU32(p + 4, block.stamps[i]);
            p += 8;
            if (narrow) {
                for (std::size_t c = 0; c < na; ++c, p += 2) {
                    const std::uint32_t raw = block.raw[c * kBlock + i];
                    putU16(p, raw == kMissingWord ? 0x8000u : raw & 0xFFFF); // -32768: missing
                }
            } else {
                for (std::size_t c = 0; c < na; ++c, p += 4)
                    putU32(p, block.raw[c * kBlock + i]);
            }
            for (std::size_t w = 0; w < plan.statusWords; ++w, p += 2)
                putU16(p, block.words[w * kBlock + i]);
            if (!out.done(p))
                return DataResult::IoError;
        }
    }
    return out.flush() ? DataResult::Written : DataResult::IoError;
}

template <class Src>
DataResult writeAscii(const Src& src, const Plan& plan, Output& out)
{
    Block block(plan);
    const std::size_t na = plan.analogs.size(), nd = plan.statuses.size();
    const bool emptyMissing = plan.revision >= 2013;
    for (std::size_t k = plan.first; k < plan.end; k += kBlock) {
        const std::size_t n = std::min(kBlock, plan.end - k);
        if (!block.fill(src, plan, k, n))
            return DataResult::Inexact;
        for (std::size_t i = 0; i < n; ++i) {
            char* p = out.at();
            p = putNumber(p, static_cast<long long>(k + i - plan.first + 1));
            *p++ = ',';
            p = putNumber(p, static_cast<long long>(block.stamps[i]));
            for (std::size_t c = 0; c < na; ++c) {
                *p++ = ',';
                const std::uint32_t raw = block.raw[c * kBlock + i];
                if (raw != kMissingWord)
                    p = putNumber(p, static_cast<std::int32_t>(raw));
                else if (!emptyMissing)
                    p = putNumber(p, 99999);
            }
            for (std::size_t s = 0; s < nd; ++s) {
                *p++ = ',';
                *p++ = static_cast<char>('0' + ((block.words[(s / 16) * kBlock + i] >> (s % 16)) & 1u));
            }
            *p++ = '\r';
            *p++ = '\n';
            if (!out.done(p))
                return DataResult::IoError;
        }
    }
    return out.flush() ? DataResult::Written : DataResult::IoError;
}

template <class Src>
DataResult writeData(const Src& src, const Plan& plan, std::FILE* file)
{
    // A text record: two 10-digit numbers, 11 characters a value, 2 a state, CR LF.
    const std::size_t maxRecord = plan.type == Enums::Ascii
                                      ? 24 + 24 * plan.analogs.size() + 2 * plan.statuses.size() + 2
                                      : plan.recordSize;
    Output out(file, maxRecord);
    return plan.type == Enums::Ascii ? writeAscii(src, plan, out) : writeBinary(src, plan, out);
}

// ---- files -----------------------------------------------------------------

std::string cannotWrite(const std::string& path, int error)
{
    return "cannot write " + path + ": " + std::strerror(error);
}

// A file written under a temporary name in the target's folder and renamed
// to the target only when everything is written; removed otherwise.
class StagedFile {
public:
    explicit StagedFile(std::string target) : _target(std::move(target)) {}
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile()
    {
        if (_file)
            std::fclose(_file);
        if (!_temp.empty() && !_renamed)
            std::remove(_temp.c_str());
    }

    bool open(std::string& error)
    {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            _temp = _target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
            const int fd = ::open(_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0) {
                error = cannotWrite(_target, errno);
                _temp.clear();
                return false;
            }
            _file = fdopen(fd, "wb");
            if (!_file) {
                error = cannotWrite(_target, errno);
                ::close(fd);
                return false;
            }
            return true;
        }
        error = cannotWrite(_target, EEXIST);
        _temp.clear();
        return false;
    }

    std::FILE* file() const { return _file; }

    bool write(const std::string& bytes)
    {
        return std::fwrite(bytes.data(), 1, bytes.size(), _file) == bytes.size();
    }

    // Back to an empty file.
    bool restart()
    {
        return std::fflush(_file) == 0 && ::ftruncate(fileno(_file), 0) == 0 && std::fseek(_file, 0, SEEK_SET) == 0;
    }

    bool close(std::string& error)
    {
        const bool ok = std::ferror(_file) == 0;
        const int closed = std::fclose(_file);
        _file = nullptr;
        if (!ok || closed != 0) {
            error = cannotWrite(_target, errno ? errno : EIO);
            return false;
        }
        return true;
    }

    bool commit(std::string& error)
    {
        if (std::rename(_temp.c_str(), _target.c_str()) != 0) {
            error = cannotWrite(_target, errno);
            return false;
        }
        _renamed = true;
        return true;
    }

    // After a later file failed: the target does not stay half a recording.
    void undo()
    {
        if (_renamed)
            std::remove(_target.c_str());
    }

    const std::string& target() const { return _target; }

private:
    std::string _target, _temp;
    std::FILE* _file = nullptr;
    bool _renamed = false;
};

// Texts of the header and information files, CR LF line ends.
std::string crlfText(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        if (ch == '\n')
            out += kLineEnd;
        else if (ch != '\r')
            out += ch;
    }
    if (!out.empty() && out.back() != '\n')
        out += kLineEnd;
    return out;
}

template <class Src>
WriteReport writeRecording(const Src& src, const Cfg& cfg, const std::string& headerText,
                           const std::string& informationText, const std::string& path,
                           const WriteOptions& options, const DataFileRef* dataFile = nullptr)
{
    WriteReport report;
    const auto fail = [&report](WriteReport::Result result, const std::string& message) {
        report.result = result;
        report.message = message;
        return report;
    };
    Targets targets;
    if (!targetsOf(path, targets))
        return fail(WriteReport::BadOptions, "the output name '" + path + "' ends in none of .cfg, .dat, .cff");
    if (options.revision != 1999 && options.revision != 2013)
        return fail(WriteReport::BadOptions,
                    "revision " + std::to_string(options.revision) + " is not written (1999 or 2013)");
    if (options.type < Enums::Ascii || options.type > Enums::Float32)
        return fail(WriteReport::BadOptions, "data file type " + std::to_string(options.type) + " is unknown");
    if (std::isnan(options.from) || std::isnan(options.to))
        return fail(WriteReport::BadOptions, "the window's ends must be numbers");

    Plan plan;
    plan.type = options.type;
    plan.revision = options.revision;
    Failure failure;
    std::vector<std::size_t> analogs, statuses;
    if (!selectChannels(cfg, options.channels, analogs, statuses, failure))
        return fail(failure.result, failure.message);
    if (analogs.empty() && statuses.empty())
        return fail(WriteReport::NoChannels, "the selection leaves no channel to write");

    // The window: from the first record at or after `from` to the last at or before `to`.
    const std::size_t count = src.count();
    std::size_t first = 0, last = count;
    while (first < count && !(src.time(first) >= options.from))
        ++first;
    while (last > first && !(src.time(last - 1) <= options.to))
        --last;
    if (first >= last) {
        const auto seconds = [](double s) { return number(s) + " s"; };
        return fail(WriteReport::EmptyWindow,
                    "no record lies in the window " + seconds(options.from) + " to " + seconds(options.to) +
                        (count ? " (the recording runs from " + seconds(src.time(0)) + " to " +
                                     seconds(src.time(count - 1)) + ")"
                               : " (the recording has no records)"));
    }
    plan.first = first;
    plan.end = last;
    if (plan.records() > kMaxRecords)
        return fail(WriteReport::BadValues, "more than 2147483647 records cannot be numbered");

    plan.station = cfg.stationName;
    plan.device = cfg.recDevId;
    if (badField(plan.station) || badField(plan.device))
        return fail(WriteReport::BadValues, "a name holds a comma or a line end: '" +
                                                (badField(plan.station) ? plan.station : plan.device) + "'");
    plan.frequency = cfg.lineFrequency;
    const auto orZero = [](const std::string& text) { return text.empty() ? std::string("0") : text; };
    plan.timeCodeLine = orZero(cfg.timeCode) + "," + orZero(cfg.localCode);
    plan.qualityLine = orZero(cfg.timeQuality) + "," + orZero(cfg.leapSecond);
    planTime(src, cfg, plan);
    for (const std::size_t c : analogs)
        if (!planAnalog(src, cfg, options, plan, c, failure, report.warnings))
            return fail(failure.result, failure.message);
    for (const std::size_t c : statuses) {
        const BinaryChannelConfig& config = cfg.binaryChannels[c];
        if (badField(config.channelId) || badField(config.phase) || badField(config.circuitComponent))
            return fail(WriteReport::BadValues, "a name holds a comma or a line end: '" + config.channelId + "'");
        plan.statuses.push_back({c, config.channelId, config.phase, config.circuitComponent,
                                 config.normalState == 0 ? 0 : 1});
    }
    for (const AnalogPlan& p : plan.analogs)
        report.rescaledChannels += p.mode == RawMode::Scaled ? 1u : 0u;
    plan.statusWords = (plan.statuses.size() + 15) / 16;
    plan.recordSize = 8 + plan.analogs.size() * (plan.type == Enums::Binary ? 2 : 4) + 2 * plan.statusWords;

    // The source's own data file, when the records can be taken from it.
    std::unique_ptr<RawRecords> raw;
    if (dataFile != nullptr && src.times() != nullptr)
        raw = RawRecords::open(*dataFile, plan);
    const auto writeRecords = [&](std::FILE* file) {
        return raw ? raw->write(plan, src.times(), file) : writeData(src, plan, file);
    };

    std::string error;
    if (targets.combined) {
        // The configuration comes first: every channel's coefficients are
        // settled before (raw values of the file always fit).
        unsigned rescaled = 0;
        if (!raw && !rescaleInexact(src, plan, rescaled, failure))
            return fail(failure.result, failure.message);
        report.rescaledChannels += rescaled;
        StagedFile cff(targets.cff);
        if (!cff.open(error))
            return fail(WriteReport::CannotWrite, error);
        std::string head = std::string("--- file type: CFG ---") + kLineEnd + cfgText(plan);
        if (!informationText.empty())
            head += std::string("--- file type: INF ---") + kLineEnd + crlfText(informationText);
        if (!headerText.empty())
            head += std::string("--- file type: HDR ---") + kLineEnd + crlfText(headerText);
        head += std::string("--- file type: DAT ") + Converters::dataFileTypeKeyword(plan.type);
        if (plan.type != Enums::Ascii)
            head += ": " + number(static_cast<unsigned long long>(plan.records() * plan.recordSize));
        head += std::string(" ---") + kLineEnd;
        if (!cff.write(head) || writeRecords(cff.file()) != DataResult::Written)
            return fail(WriteReport::CannotWrite, cannotWrite(targets.cff, errno ? errno : EIO));
        if (!cff.close(error) || !cff.commit(error))
            return fail(WriteReport::CannotWrite, error);
        report.files.push_back(targets.cff);
    } else {
        StagedFile dat(targets.dat), cfgFile(targets.cfg), hdr(targets.hdr), inf(targets.inf);
        if (!dat.open(error))
            return fail(WriteReport::CannotWrite, error);
        // One pass normally; a channel whose values are not the source's
        // integers is found while writing, rescaled, and the data written again.
        for (;;) {
            const DataResult result = writeRecords(dat.file());
            if (result == DataResult::Written)
                break;
            if (result == DataResult::IoError)
                return fail(WriteReport::CannotWrite, cannotWrite(targets.dat, errno ? errno : EIO));
            unsigned rescaled = 0;
            if (!rescaleInexact(src, plan, rescaled, failure))
                return fail(failure.result, failure.message);
            report.rescaledChannels += rescaled;
            if (!dat.restart())
                return fail(WriteReport::CannotWrite, cannotWrite(targets.dat, errno));
        }
        std::vector<StagedFile*> staged{&dat, &cfgFile};
        if (!dat.close(error) || !cfgFile.open(error))
            return fail(WriteReport::CannotWrite, error);
        if (!cfgFile.write(cfgText(plan)) || !cfgFile.close(error))
            return fail(WriteReport::CannotWrite, error.empty() ? cannotWrite(targets.cfg, errno) : error);
        for (auto [file, text] : {std::make_pair(&hdr, &headerText), std::make_pair(&inf, &informationText)}) {
            if (text->empty())
                continue;
            if (!file->open(error) || !file->write(crlfText(*text)) || !file->close(error))
                return fail(WriteReport::CannotWrite, error.empty() ? cannotWrite(file->target(), errno) : error);
            staged.push_back(file);
        }
        for (std::size_t i = 0; i < staged.size(); ++i) {
            if (!staged[i]->commit(error)) {
                for (std::size_t j = 0; j < i; ++j)
                    staged[j]->undo();
                return fail(WriteReport::CannotWrite, error);
            }
        }
        for (const StagedFile* file : staged)
            report.files.push_back(file->target());
    }
    report.records = plan.records();
    report.dataFileReused = raw != nullptr;
    return report;
}

} // namespace

WriteReport Writer::write(const Comtrade& recording, const std::string& path, const WriteOptions& options)
{
    if (!recording.loaded) {
        WriteReport report;
        report.result = WriteReport::NotLoaded;
        report.message = "the recording is not loaded";
        return report;
    }
    return writeRecording(SampleSource{recording.dat.samples}, recording.cfg, recording.headerText,
                          recording.informationText, path, options);
}

WriteReport Writer::write(const ColumnarRecording& recording, const std::string& path, const WriteOptions& options)
{
    const Cfg& cfg = recording.cfg;
    const std::size_t n = recording.count;
    if (recording.time.size() != n || recording.analog.size() != n * cfg.analogChannels.size() ||
        recording.status.size() != n * cfg.binaryChannels.size() || !recording.loaded) {
        WriteReport report;
        report.result = WriteReport::NotLoaded;
        // A load of some channels holds fewer rows than its configuration has
        // channels: the written lines would not match the data.
        report.message = recording.loaded ? "the recording holds only some of its channels (a selective load); "
                                            "load it whole and choose channels in WriteOptions"
                                          : "the recording is not loaded";
        return report;
    }
    // The data file the load read, while it and the arrays made from it are
    // as they were (values changed in place are not seen: reuseDataFile).
    const ColumnarRecording::DataFileStamp& stamp = recording._dataFile;
    bool asLoaded = options.reuseDataFile && stamp.valid && stamp.count == n && stamp.time == recording.time.data() &&
                    stamp.analog == recording.analog.data() && stamp.status == recording.status.data() &&
                    stamp.type == cfg.dataFileType && stamp.recordSize == cfg.recordSize &&
                    recording.firstRecord == 0 && stamp.coefficients.size() == 3 * cfg.analogChannels.size() &&
                    static_cast<std::size_t>(cfg.binaryChannelsCount) == cfg.binaryChannels.size();
    for (std::size_t c = 0; asLoaded && c < cfg.analogChannels.size(); ++c) {
        const AnalogChannelConfig& channel = cfg.analogChannels[c];
        asLoaded = stamp.coefficients[3 * c] == channel.a && stamp.coefficients[3 * c + 1] == channel.b &&
                   stamp.coefficients[3 * c + 2] == channel.multiplier;
    }
    DataFileRef dataFile;
    if (asLoaded) {
        dataFile.path = stamp.path;
        dataFile.device = stamp.device;
        dataFile.inode = stamp.inode;
        dataFile.size = stamp.size;
        dataFile.modified = stamp.modified;
        dataFile.changed = stamp.changed;
        dataFile.type = cfg.dataFileType;
        dataFile.recordSize = stamp.recordSize;
        dataFile.analogCount = cfg.analogChannels.size();
        dataFile.statusCount = cfg.binaryChannels.size();
    }
    return writeRecording(ColumnSource{recording}, cfg, recording.headerText, recording.informationText, path, options,
                          asLoaded ? &dataFile : nullptr);
}

WriteReport Writer::fromArrays(const RecordingArrays& arrays, ColumnarRecording& out)
{
    WriteReport report;
    const auto fail = [&report](const std::string& message) {
        report.result = WriteReport::BadValues;
        report.message = message;
        return report;
    };
    const std::size_t n = arrays.time.size();
    const std::size_t na = arrays.analogNames.size(), nd = arrays.statusNames.size();
    if (arrays.analog.size() != na * n)
        return fail("the analog values are " + std::to_string(arrays.analog.size()) + ", not " +
                    std::to_string(na) + " channels x " + std::to_string(n) + " times");
    if (arrays.status.size() != nd * n)
        return fail("the status values are " + std::to_string(arrays.status.size()) + ", not " +
                    std::to_string(nd) + " channels x " + std::to_string(n) + " times");
    if (!arrays.analogUnits.empty() && arrays.analogUnits.size() != na)
        return fail("there are " + std::to_string(arrays.analogUnits.size()) + " units for " +
                    std::to_string(na) + " analog channels");
    if (!arrays.analogPhases.empty() && arrays.analogPhases.size() != na)
        return fail("there are " + std::to_string(arrays.analogPhases.size()) + " phases for " +
                    std::to_string(na) + " analog channels");
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(arrays.time[k]) || (k > 0 && arrays.time[k] < arrays.time[k - 1]))
            return fail("time " + std::to_string(k) + " (" + number(arrays.time[k]) +
                        ") is not finite or is earlier than the one before");
    }
    std::vector<std::string> texts{arrays.station, arrays.device};
    texts.insert(texts.end(), arrays.analogNames.begin(), arrays.analogNames.end());
    texts.insert(texts.end(), arrays.analogUnits.begin(), arrays.analogUnits.end());
    texts.insert(texts.end(), arrays.analogPhases.begin(), arrays.analogPhases.end());
    texts.insert(texts.end(), arrays.statusNames.begin(), arrays.statusNames.end());
    for (const std::string& text : texts)
        if (badField(text))
            return fail("a name holds a comma or a line end: '" + text + "'");
    if (!(arrays.frequency >= 0.0) || !std::isfinite(arrays.frequency))
        return fail("the line frequency " + number(arrays.frequency) + " is not a frequency");

    Cfg cfg;
    cfg.stationName = arrays.station;
    cfg.recDevId = arrays.device;
    cfg.revYear = 2013;
    cfg.analogChannelsCount = static_cast<int>(na);
    cfg.binaryChannelsCount = static_cast<int>(nd);
    cfg.channelsCount = static_cast<int>(na + nd);
    cfg.lineFrequency = arrays.frequency;
    // Values of arrays are not integers of any data file: written, they are scaled.
    cfg.dataFileType = Enums::Float32;
    for (std::size_t c = 0; c < na; ++c) {
        AnalogChannelConfig channel(static_cast<int>(c), true, 2013);
        channel.channelId = arrays.analogNames[c];
        channel.phase = arrays.analogPhases.empty() ? std::string() : arrays.analogPhases[c];
        channel.unit = arrays.analogUnits.empty() ? std::string("V") : arrays.analogUnits[c];
        channel.multiplier = channel.multiplicator(channel.unit);
        cfg.analogChannels.push_back(channel);
    }
    for (std::size_t c = 0; c < nd; ++c) {
        BinaryChannelConfig channel;
        channel.index = static_cast<int>(c);
        channel.channelId = arrays.statusNames[c];
        cfg.binaryChannels.push_back(channel);
    }
    // Evenly spaced times (within 1% of a step) are one sampling rate.
    bool even = n >= 2;
    const double step = n >= 2 ? (arrays.time[n - 1] - arrays.time[0]) / static_cast<double>(n - 1) : 0.0;
    even = even && step > 0.0;
    for (std::size_t k = 0; even && k < n; ++k)
        even = std::fabs(arrays.time[k] - arrays.time[0] - static_cast<double>(k) * step) <= 0.01 * step;
    SamplingRate rate;
    rate.endSample = n;
    rate.rate = even ? 1.0 / step : 0.0;
    cfg.samplingRates.push_back(rate);
    cfg.samplesCount = n;
    cfg.allRatesNonZero = even;
    cfg.timeStampUnit = 1e-6;
    DateTime epoch;
    epoch.valid = true;
    epoch.year = 1970;
    epoch.month = epoch.day = 1;
    cfg.start = arrays.start.valid ? arrays.start : epoch;
    cfg.trigger = arrays.trigger.valid ? arrays.trigger : cfg.start;
    cfg.triggerOffset = secondsBetween(cfg.start, cfg.trigger);
    cfg.timeCode = cfg.localCode = "0";
    cfg.timeQuality = cfg.leapSecond = "0";
    cfg.duration = n ? arrays.time[n - 1] - arrays.time[0] : 0.0;

    out._dataFile = ColumnarRecording::DataFileStamp(); // no file holds these values
    out.fileName.clear();
    out.cfgFileName.clear();
    out.datFileName.clear();
    out.cfg = std::move(cfg);
    out.report.clear();
    out.report.result = 0;
    out.loaded = true;
    out.headerText.clear();
    out.informationText.clear();
    out.count = n;
    out.firstRecord = 0;
    out.analogChannelIndices.resize(out.cfg.analogChannels.size());
    std::iota(out.analogChannelIndices.begin(), out.analogChannelIndices.end(), std::size_t(0));
    out.statusChannelIndices.resize(out.cfg.binaryChannels.size());
    std::iota(out.statusChannelIndices.begin(), out.statusChannelIndices.end(), std::size_t(0));
    out.time = arrays.time;
    if (even)
        for (std::size_t k = 0; k < n; ++k)
            out.time[k] = arrays.time[k] - arrays.time[0];
    out.duration = n ? out.time.back() : -1.0;
    out.analog = arrays.analog;
    out.status.assign(arrays.status.size(), 0);
    for (std::size_t i = 0; i < arrays.status.size(); ++i)
        out.status[i] = arrays.status[i] ? 1 : 0;
    report.records = n;
    return report;
}

} // namespace KivComtradeLib
