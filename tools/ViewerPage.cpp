#include "ViewerPage.h"

#include "PlotStyle.h"
#include "ViewerAssets.h"
#include "ViewerMeasures.h"

#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/ToUtf8.h>

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <thread>

namespace KivTools {

namespace {

using namespace KivComtradeLib;
using nlohmann::json;

// Envelopes start at this many samples a bucket and grow by kLevelFactor
// while a level still has more than kCoarsest buckets; below the finest
// level the page reduces the full-resolution samples itself.
constexpr std::size_t kFinestBucket = 64;
constexpr std::size_t kLevelFactor = 8;
constexpr std::size_t kCoarsest = 512;
// Samples per separately decodable run of an analog channel's values.
constexpr std::size_t kChunk = 65536;

unsigned processors()
{
    return std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
}

template <typename T>
std::vector<std::uint8_t> bytesOf(const std::vector<T>& values)
{
    std::vector<std::uint8_t> out(values.size() * sizeof(T));
    if (!out.empty())
        std::memcpy(out.data(), values.data(), out.size());
    return out;
}

// Binary blocks of the page, each one <script> element of base64 text after
// the data; the JSON refers to them by number.
class Blobs {
public:
    int add(std::vector<std::uint8_t> raw)
    {
        raw_.push_back(std::move(raw));
        return static_cast<int>(raw_.size()) - 1;
    }
    template <typename T>
    int add(const std::vector<T>& values) { return add(bytesOf(values)); }

    // Compressed on every processor: the blocks are independent.
    std::string html() const
    {
        std::vector<std::string> texts(raw_.size());
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t i = next++; i < raw_.size(); i = next++) {
                const std::vector<std::uint8_t> packed = deflated(raw_[i].data(), raw_[i].size());
                texts[i] = "<script type=\"application/octet-stream\" id=\"kb" + std::to_string(i) +
                           "\" data-size=\"" + std::to_string(raw_[i].size()) + "\">" +
                           base64(packed.data(), packed.size()) + "</script>\n";
            }
        };
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < processors(); ++t)
            helpers.emplace_back(work);
        work();
        for (std::thread& helper : helpers)
            helper.join();
        std::string out;
        std::size_t total = 0;
        for (const std::string& text : texts)
            total += text.size();
        out.reserve(total);
        for (const std::string& text : texts)
            out += text;
        return out;
    }

private:
    std::vector<std::vector<std::uint8_t>> raw_;
};

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The samples' times on the tools' axis as straight segments
// [first index, time, step] when they are evenly spaced within a
// nanosecond's tenth; otherwise a float64 block.
json timeOf(const double* time, std::size_t count, double origin, Blobs& blobs)
{
    json segments = json::array();
    std::size_t s = 0;
    while (s < count) {
        const double t0 = time[s] - origin;
        const double step = s + 1 < count ? time[s + 1] - time[s] : 0.0;
        std::size_t e = s + 1;
        while (e < count && std::fabs(t0 + static_cast<double>(e - s) * step - (time[e] - origin)) <= 1e-10)
            ++e;
        segments.push_back({s, t0, step});
        if (segments.size() > 64) {
            std::vector<double> shifted(time, time + count);
            for (double& t : shifted)
                t -= origin;
            return {{"blob", blobs.add(shifted)}};
        }
        s = e;
    }
    return {{"segments", segments}};
}

// The template with every {{NAME}} replaced, in one pass, so that nothing
// inserted is ever read as a mark.
std::string filled(const std::string& page, const std::map<std::string, const std::string*>& parts)
{
    std::size_t total = page.size();
    for (const auto& part : parts)
        total += part.second->size();
    std::string out;
    out.reserve(total);
    std::size_t at = 0;
    while (true) {
        const std::size_t open = page.find("{{", at);
        const std::size_t close = open == std::string::npos ? open : page.find("}}", open);
        const auto part = close == std::string::npos ? parts.end() : parts.find(page.substr(open + 2, close - open - 2));
        if (part == parts.end()) {
            out.append(page, at, open == std::string::npos ? std::string::npos : open + 2 - at);
            if (open == std::string::npos)
                return out;
            at = open + 2;
            continue;
        }
        out.append(page, at, open - at);
        out += *part->second;
        at = close + 2;
    }
}

} // namespace

std::string htmlText(const std::string& text)
{
    std::string out;
    for (const char ch : toUtf8::repairUtf8(text)) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string scriptSafeJson(const std::string& json)
{
    std::string out;
    out.reserve(json.size());
    for (const char ch : json) {
        switch (ch) {
        case '<': out += "\\u003c"; break;
        case '>': out += "\\u003e"; break;
        case '&': out += "\\u0026"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string base64(const std::uint8_t* bytes, std::size_t size)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out((size + 2) / 3 * 4, '=');
    char* o = out.data();
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3, o += 4) {
        const std::uint32_t v = (std::uint32_t(bytes[i]) << 16) | (std::uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
        o[0] = digits[v >> 18];
        o[1] = digits[(v >> 12) & 63];
        o[2] = digits[(v >> 6) & 63];
        o[3] = digits[v & 63];
    }
    if (i < size) {
        const std::uint32_t v = (std::uint32_t(bytes[i]) << 16) | (i + 1 < size ? std::uint32_t(bytes[i + 1]) << 8 : 0);
        o[0] = digits[v >> 18];
        o[1] = digits[(v >> 12) & 63];
        if (i + 1 < size)
            o[2] = digits[(v >> 6) & 63];
    }
    return out;
}

std::vector<std::uint8_t> deflated(const std::uint8_t* bytes, std::size_t size)
{
    uLongf length = compressBound(static_cast<uLong>(size));
    std::vector<std::uint8_t> out(length);
    if (compress2(out.data(), &length, bytes, static_cast<uLong>(size), 1) != Z_OK)
        throw std::runtime_error("cannot compress the page's data");
    out.resize(length);
    return out;
}

EncodedValues encodeValues(const double* values, std::size_t count, double a, double b, double multiplier)
{
    EncodedValues out;
    bool integers = a != 0.0 && multiplier != 0.0 && std::isfinite(a) && std::isfinite(b) && std::isfinite(multiplier);
    if (integers) {
        std::vector<std::int32_t> deltas(count);
        std::uint32_t previous = 0;
        std::int32_t widest = 0;
        const double inverse = 1.0 / multiplier, perA = 1.0 / a; // a guess, checked exactly below
        for (std::size_t i = 0; i < count && integers; ++i) {
            const double v = values[i];
            std::int32_t k = kMissing;
            if (!std::isnan(v)) {
                // Rounded by truncation (std::nearbyint is a slow call here).
                const double x = (v * inverse - b) * perA;
                const double guess = std::fabs(x) < 2147483648.0 ? static_cast<double>(static_cast<std::int64_t>(x + (x < 0 ? -0.5 : 0.5))) : x;
                integers = std::fabs(guess) <= 2147483647.0 && (guess * a + b) * multiplier == v;
                k = integers ? static_cast<std::int32_t>(guess) : 0;
            }
            deltas[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(k) - previous);
            previous = static_cast<std::uint32_t>(k);
            widest = std::max(widest, deltas[i] == INT32_MIN ? INT32_MAX : std::abs(deltas[i]));
        }
        if (integers) {
            out.kind = EncodedValues::Int;
            out.width = widest < 128 ? 1 : widest < 32768 ? 2 : 4;
            if (out.width == 1)
                out.bytes = bytesOf(std::vector<std::int8_t>(deltas.begin(), deltas.end()));
            else if (out.width == 2)
                out.bytes = bytesOf(std::vector<std::int16_t>(deltas.begin(), deltas.end()));
            else
                out.bytes = bytesOf(deltas);
            return out;
        }
    }
    std::vector<float> singles(count);
    bool fits = true;
    for (std::size_t i = 0; i < count && fits; ++i) {
        singles[i] = static_cast<float>(values[i]);
        fits = std::isnan(values[i]) || static_cast<double>(singles[i]) == values[i];
    }
    if (fits) {
        out.kind = EncodedValues::Float32;
        out.width = 4;
        out.bytes = bytesOf(singles);
    } else {
        out.bytes = bytesOf(std::vector<double>(values, values + count));
    }
    return out;
}

std::vector<float> envelope(const double* values, std::size_t count, std::size_t bucket)
{
    const std::size_t buckets = (count + bucket - 1) / bucket;
    std::vector<float> out(buckets * 2, std::numeric_limits<float>::quiet_NaN());
    for (std::size_t k = 0; k < buckets; ++k) {
        const std::size_t begin = k * bucket, end = std::min(count, begin + bucket);
        double low = std::numeric_limits<double>::infinity(), high = -low;
        std::size_t lowAt = 0, highAt = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const double v = values[i];
            if (v < low) {
                low = v;
                lowAt = i;
            }
            if (v > high) {
                high = v;
                highAt = i;
            }
        }
        if (low > high)
            continue; // only missing values
        out[2 * k] = static_cast<float>(lowAt <= highAt ? low : high);
        out[2 * k + 1] = static_cast<float>(lowAt <= highAt ? high : low);
    }
    return out;
}

std::vector<float> coarser(const std::vector<float>& finer, std::size_t factor)
{
    // Each pair of the finer envelope holds its bucket's extremes in the order
    // they occur, so the extremes of a wider bucket are among them, and their
    // order is that of their places.
    const std::size_t pairs = finer.size() / 2, buckets = (pairs + factor - 1) / factor;
    std::vector<float> out(buckets * 2, std::numeric_limits<float>::quiet_NaN());
    for (std::size_t k = 0; k < buckets; ++k) {
        const std::size_t begin = 2 * k * factor, end = std::min(finer.size(), begin + 2 * factor);
        float low = std::numeric_limits<float>::infinity(), high = -low;
        std::size_t lowAt = 0, highAt = 0;
        for (std::size_t j = begin; j < end; ++j) {
            if (finer[j] < low) {
                low = finer[j];
                lowAt = j;
            }
            if (finer[j] > high) {
                high = finer[j];
                highAt = j;
            }
        }
        if (low > high)
            continue;
        out[2 * k] = lowAt <= highAt ? low : high;
        out[2 * k + 1] = lowAt <= highAt ? high : low;
    }
    return out;
}

namespace {

// What the page needs of one lane, computed on a thread of its own.
struct LaneWork {
    std::vector<EncodedValues> chunks;
    std::vector<std::vector<float>> envelopes;
    ChannelMeasures measures;
    std::vector<std::int32_t> changes;
};

LaneWork laneWork(const ColumnarRecording& rec, const ChannelRef& ref, std::size_t first, std::size_t count,
                  const std::vector<std::size_t>& levels, const std::vector<std::size_t>& at)
{
    LaneWork work;
    if (!ref.analog) {
        const std::uint8_t* states = rec.statusRow(ref.position) + first;
        for (std::size_t i = 1; i < count; ++i)
            if (states[i] != states[i - 1])
                work.changes.push_back(static_cast<std::int32_t>(i));
        return work;
    }
    const AnalogChannelConfig& config = rec.cfg.analogChannels[ref.position];
    const double* values = rec.analogRow(ref.position) + first;
    // Runs of kChunk samples, so that a cursor or a zoom decodes only the runs
    // it needs.
    for (std::size_t begin = 0; begin < count; begin += kChunk)
        work.chunks.push_back(
            encodeValues(values + begin, std::min(kChunk, count - begin), config.a, config.b, config.multiplier));
    for (std::size_t l = 0; l < levels.size(); ++l)
        work.envelopes.push_back(l == 0 ? envelope(values, count, levels[0])
                                        : coarser(work.envelopes.back(), levels[l] / levels[l - 1]));
    work.measures = measureChannel(rec, ref.position, at);
    return work;
}

// Every lane's work, lanes spread over the processors.
std::vector<LaneWork> allLaneWork(const ColumnarRecording& rec, const std::vector<ChannelRef>& lanes,
                                  std::size_t first, std::size_t count, const std::vector<std::size_t>& levels,
                                  const std::vector<std::size_t>& at)
{
    std::vector<LaneWork> work(lanes.size());
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (std::size_t lane = next++; lane < lanes.size(); lane = next++)
            work[lane] = laneWork(rec, lanes[lane], first, count, levels, at);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < processors(); ++t)
        helpers.emplace_back(worker);
    worker();
    for (std::thread& helper : helpers)
        helper.join();
    return work;
}

} // namespace

std::string renderViewerPage(const ColumnarRecording& rec, const ViewRequest& request)
{
    // The samples inside the window (at least one).
    const double* const time = rec.time.data();
    std::size_t first = 0, last = rec.count;
    while (first + 1 < rec.count && time[first] - request.origin < request.window.from - 1e-12)
        ++first;
    while (last > first + 1 && time[last - 1] - request.origin > request.window.to + 1e-12)
        --last;
    const std::size_t count = last - first;

    Blobs blobs;
    const Cfg& cfg = rec.cfg;
    json data;
    data["file"] = toUtf8::repairUtf8(fileNameOf(request.path));
    data["station"] = shown(cfg.stationName);
    data["device"] = shown(cfg.recDevId);
    data["revision"] = cfg.revYear;
    data["start"] = formatDateTime(cfg.start);
    data["trigger"] = formatDateTime(cfg.trigger);
    data["hasTrigger"] = hasTrigger(cfg);
    data["type"] = KivComtradeLib::Converters::dataFileTypeKeyword(cfg.dataFileType);
    data["frequency"] = cfg.lineFrequency;
    data["rates"] = json::array();
    for (const SamplingRate& rate : cfg.samplingRates)
        data["rates"].push_back({rate.rate, rate.endSample});
    data["count"] = count;
    data["total"] = rec.count;
    data["time"] = timeOf(time + first, count, request.origin, blobs);
    data["chunk"] = kChunk;

    std::vector<std::size_t> levels;
    for (std::size_t bucket = kFinestBucket; count / bucket > kCoarsest / kLevelFactor; bucket *= kLevelFactor)
        levels.push_back(bucket);
    data["levels"] = levels;

    // Measures at the end of every whole cycle inside the window.
    const std::vector<std::size_t> at = cycleEnds(rec.time, first, last, cfg.lineFrequency);
    std::vector<double> atOnAxis;
    for (const std::size_t n : at)
        atOnAxis.push_back(time[n] - request.origin);
    data["cycles"] = blobs.add(atOnAxis);

    std::vector<LaneWork> work = allLaneWork(rec, request.channels, first, count, levels, at);
    data["channels"] = json::array();
    for (std::size_t lane = 0; lane < request.channels.size(); ++lane) {
        const ChannelRef& ref = request.channels[lane];
        LaneWork& w = work[lane];
        json channel;
        if (ref.analog) {
            const AnalogChannelConfig& config = cfg.analogChannels[ref.position];
            channel["id"] = "A" + std::to_string(ref.position + 1);
            channel["name"] = channelName(config);
            channel["unit"] = toUtf8::repairUtf8(valueUnit(config));
            channel["phase"] = shown(config.phase);
            channel["component"] = shown(config.circuitComponent);
            channel["colour"] = channelColour(config);
            channel["a"] = config.a;
            channel["b"] = config.b;
            channel["m"] = config.multiplier;
            json chunks = json::array();
            static const char* const kinds[] = {"int", "f32", "f64"};
            for (EncodedValues& encoded : w.chunks)
                chunks.push_back({blobs.add(std::move(encoded.bytes)), kinds[encoded.kind], encoded.width});
            channel["chunks"] = chunks;
            json envelopes = json::array();
            for (const std::vector<float>& level : w.envelopes)
                envelopes.push_back(blobs.add(level));
            channel["envelopes"] = envelopes;
            channel["rms"] = blobs.add(w.measures.rms);
            channel["magnitude"] = blobs.add(w.measures.magnitude);
            channel["angle"] = blobs.add(w.measures.angle);
        } else {
            channel["id"] = "D" + std::to_string(ref.position + 1);
            channel["name"] = channelName(cfg.binaryChannels[ref.position]);
            channel["initial"] = count ? rec.statusRow(ref.position)[first] : 0;
            channel["changes"] = blobs.add(w.changes);
        }
        data["channels"].push_back(std::move(channel));
    }

    data["groups"] = json::array();
    for (const LaneGroup& group : laneGroups(cfg, request.channels)) {
        const SequenceMeasures sequence = sequenceOf(work[group.lanes[0]].measures, work[group.lanes[1]].measures,
                                                     work[group.lanes[2]].measures);
        json magnitude = json::array(), angle = json::array();
        for (int s = 0; s < 3; ++s) {
            magnitude.push_back(blobs.add(sequence.magnitude[s]));
            angle.push_back(blobs.add(sequence.angle[s]));
        }
        data["groups"].push_back({{"name", group.name},
                                  {"lanes", group.lanes},
                                  {"magnitude", magnitude},
                                  {"angle", angle}});
    }

    const std::string title = htmlText(shown(cfg.stationName) + " \xE2\x80\x94 " + fileNameOf(request.path));
    const std::string json = scriptSafeJson(data.dump(-1, ' ', false, json::error_handler_t::replace));
    const std::string blocks = blobs.html();
    const std::string uplotCss = ViewerAssets::uplotCss, viewerCss = ViewerAssets::viewerCss;
    const std::string uplotJs = ViewerAssets::uplotJs, viewerJs = ViewerAssets::viewerJs;
    return filled(ViewerAssets::page, {{"TITLE", &title},
                                       {"UPLOT_CSS", &uplotCss},
                                       {"VIEWER_CSS", &viewerCss},
                                       {"UPLOT_JS", &uplotJs},
                                       {"VIEWER_JS", &viewerJs},
                                       {"DATA", &json},
                                       {"BLOBS", &blocks}});
}

} // namespace KivTools
