// Whole recordings as a host opens them, one load per input. The first byte
// chooses how; the rest is <cfg> "@DAT@\n" <dat> for a .cfg/.dat pair, or
// the bytes of a combined file:
//   bits 0-1  0 Comtrade, pair   1 ColumnarRecording, pair
//             2 Comtrade, .cff   3 ColumnarRecording, .cff
//   bits 2-3  the pair opened as .cfg, .dat or .CFG (3: .cfg, with .hdr/.inf)
// A success promises finite figures (times, duration, rates, gains) and a
// duration that is the time of the last record; the views read any window;
// a columnar success is read again selectively (a window and channels
// picked by the input's bytes), at once and in blocks, giving the same records;
// a Comtrade load gives the same outcome whichever way its samples are built.
// (Seeds start with the ASCII digits '0'-'3', which pick the four ways.)

#include "FuzzInput.h"
#include "data/DataReader.h"

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace KivComtradeLib;
using KivFuzz::check;
using KivFuzz::put;

namespace {

// What any success promises of the configuration: no NaN or infinity that
// would spread into every value or time.
void checkConfiguration(const Cfg& cfg)
{
    bool finite = std::isfinite(cfg.lineFrequency) && std::isfinite(cfg.duration) && cfg.timeMultiplier > 0.0 &&
                  std::isfinite(cfg.timeMultiplier);
    for (const SamplingRate& r : cfg.samplingRates) finite = finite && std::isfinite(r.rate);
    for (const AnalogChannelConfig& ch : cfg.analogChannels)
        finite = finite && std::isfinite(ch.a) && std::isfinite(ch.b) && std::isfinite(ch.skew);
    check(finite, "a loaded configuration holds a non-finite figure");
}

// Times of a success: finite, never decreasing when the rates give them, and
// the last one is the duration.
void checkTimes(const Cfg& cfg, const double* time, std::size_t n, double duration)
{
    check(n <= cfg.samplesCount && (n > 0 || cfg.dataFileType == Enums::Ascii), "record count");
    for (std::size_t k = 0; k < n; ++k)
        check(std::isfinite(time[k]) && (!cfg.allRatesNonZero || k == 0 || time[k] >= time[k - 1]), "sample time");
    check(duration == (n ? time[n - 1] : -1.0), "duration is not the time of the last record");
}

// The same load record by record, and in blocks of three rows built on a
// second thread: the same outcome, sentence and samples.
void expectSameLoadOnEveryPath(const std::string& file, const Comtrade& rec, int code)
{
    for (const SampleBuild build : {SampleBuild::Direct, SampleBuild::Threaded}) {
        setSampleBuild(build, 3);
        Comtrade other;
        const int result = other.load(file);
        setSampleBuild(SampleBuild::Auto);
        check(result == code && other.report.message == rec.report.message &&
                  other.dat.samples.size() == rec.dat.samples.size(), "another way of building the samples differs");
        for (std::size_t k = 0; k < rec.dat.samples.size(); ++k) {
            const Sample &a = rec.dat.samples[k], &b = other.dat.samples[k];
            check(std::memcmp(&a.time, &b.time, sizeof a.time) == 0 && KivFuzz::sameBytes(a.analogValues, b.analogValues) &&
                      a.binaryValues == b.binaryValues, "another way of building the samples gives other samples");
        }
    }
}

void loadComtrade(const std::string& file, const std::uint8_t* data, std::size_t size)
{
    Comtrade rec;
    const int code = rec.load(file);
    expectSameLoadOnEveryPath(file, rec, code);
    check(rec.loaded == (code == 0) && (code == 0 || (code >= 2 && code <= 6 && rec.analogChannels.empty() &&
                                                      rec.binaryChannels.empty() && rec.dat.samples.empty())),
          "result code, loaded flag or views");
    if (code != 0) return;
    checkConfiguration(rec.cfg);
    const std::size_t n = rec.dat.samples.size(), analogs = rec.analogChannels.size(), states = rec.binaryChannels.size();
    check(rec.cfg.analogChannels.size() == analogs && rec.cfg.binaryChannels.size() == states, "one view per channel");
    std::vector<double> time;
    for (std::size_t k = 0; k < n; ++k) {
        const Sample& s = rec.dat.samples[k];
        check(s.index == k && s.analogValues.size() == analogs && s.binaryValues.size() == states, "sample shape");
        time.push_back(s.time);
    }
    checkTimes(rec.cfg, time.data(), n, rec.duration);

    // Windows: the whole recording, and two raw doubles of the input's tail (NaN, infinities, huge times).
    double w[4] = {0.0, -1.0, 0.0, 0.0};
    std::memcpy(&w[2], data + size - std::min<std::size_t>(size, 16), std::min<std::size_t>(size, 16));
    const double last = n ? rec.dat.samples.back().time : 0.0;
    for (const AnalogChannel& ch : rec.analogChannels) {
        for (int k = 0; k < 4; k += 2) {
            const double rate = 1000.0 / ((w[k + 1] < 0 ? last : w[k + 1]) - w[k]); // about 1000 points
            check(ch.getPoints(w[k], w[k + 1], std::isfinite(rate) && rate > 0 ? rate : 1.0).size() <= 1001, "analog points");
            unsigned int hint = 0;
            for (double t : {w[k], w[k + 1], last, -w[k]})
                check((ch.getValue(t, hint), hint < std::max<std::size_t>(n, 1)), "hint moved past the samples");
        }
        check(ch.getPoints(0.0, 1.0, 1e15).empty(), "a request no memory could hold is not empty");
    }
    for (const BinaryChannel& ch : rec.binaryChannels) // opening point, one per change, two closing ones at most
        check(std::max(ch.getPoints(w[0], w[1], 0).size(), ch.getPoints(w[2], w[3], 0).size()) <= n + 3, "status points");
}

// A window (two raw doubles of the input) and channels picked by its bytes,
// read at once and in blocks: the records at the same positions as the
// whole load `full`, every one of them when the times never go back.
void checkSelection(const std::string& file, const ColumnarRecording& full, const double* window, const std::uint8_t* pick,
                    std::size_t picks)
{
    LoadOptions options;
    options.windowFrom = window[0];
    options.windowTo = window[1];
    for (std::size_t i = 0; i < picks; ++i) {
        if (pick[i] % 3 == 0) options.analogIndices.push_back(pick[i] / 3 % (full.cfg.analogChannels.size() + 1));
        if (pick[i] % 3 == 1) options.statusIndices.push_back(pick[i] / 3 % (full.cfg.binaryChannels.size() + 1));
    }
    ColumnarRecording part;
    const int code = part.load(file, options);
    check(code == 0 || code == 7, "a selective load of a loadable recording gives 0 or 7");
    ChunkReader reader;
    const std::size_t samples = 1 + (picks ? pick[0] % 13 : 0);
    const int opened = reader.open(file, samples, options);
    ColumnChunk chunk;
    std::size_t at = 0;
    bool same = opened == code || (opened == 0 && code == 7);
    while (same && opened == 0 && reader.next(chunk)) {
        same = chunk.count <= samples && at + chunk.count <= part.count;
        for (std::size_t i = 0; same && i < chunk.count; ++i, ++at) {
            same = std::memcmp(&chunk.time[i], &part.time[at], sizeof(double)) == 0;
            for (std::size_t r = 0; same && r < part.analogChannelIndices.size(); ++r)
                same = std::memcmp(&chunk.analog[r * chunk.count + i], &part.analog[r * part.count + at], sizeof(double)) == 0;
            for (std::size_t r = 0; same && r < part.statusChannelIndices.size(); ++r)
                same = chunk.status[r * chunk.count + i] == part.status[r * part.count + at];
        }
    }
    check(same && at == part.count && reader.report.result == code, "blocks differ from the selective load");
    if (code != 0) return;
    check((part.count > 0 || full.count == 0) && part.firstRecord + part.count <= full.count, "window inside the recording");
    bool ordered = true;
    for (std::size_t k = 1; k < full.count; ++k) ordered &= full.time[k - 1] <= full.time[k];
    std::size_t inside = 0;
    for (std::size_t k = 0; k < full.count; ++k) inside += full.time[k] >= window[0] && full.time[k] <= window[1];
    check(!ordered || !(window[0] == window[0] && window[1] == window[1]) || inside == part.count, "records of the window");
    for (std::size_t i = 0; i < part.count; ++i) {
        const std::size_t k = part.firstRecord + i;
        bool equal = std::memcmp(&part.time[i], &full.time[k], sizeof(double)) == 0;
        for (std::size_t c : part.analogChannelIndices) equal &= std::memcmp(part.analogRow(c) + i, full.analogRow(c) + k, sizeof(double)) == 0;
        for (std::size_t c : part.statusChannelIndices) equal &= part.statusRow(c)[i] == full.statusRow(c)[k];
        check(equal, "a selected value differs from the whole load's");
    }
}

void loadColumnar(const std::string& file, const std::uint8_t* data, std::size_t size)
{
    ColumnarRecording col;
    const int code = col.load(file);
    check(code == 0 || (code >= 2 && code <= 6 && col.count == 0 && col.time.empty() && col.duration == -1.0),
          "result code or arrays of a failure");
    if (code != 0) return;
    checkConfiguration(col.cfg);
    const std::size_t n = col.count;
    check(col.time.size() == n && col.analog.size() == n * col.cfg.analogChannels.size() &&
          col.status.size() == n * col.cfg.binaryChannels.size(), "array sizes");
    for (const std::uint8_t state : col.status) check(state <= 1, "a state that is neither 0 nor 1");
    checkTimes(col.cfg, col.time.data(), n, col.duration);

    double window[2] = {0.0, 0.0};
    std::memcpy(window, data + size - std::min<std::size_t>(size, 16), std::min<std::size_t>(size, 16));
    const std::size_t picks = std::min<std::size_t>(size > 16 ? size - 16 : 0, 8);
    checkSelection(file, col, window, data + 1, picks);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const unsigned way = data[0] & 3u, name = (data[0] >> 2) & 3u;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string file;
    if (way >= 2) {
        file = put("one.cff", input); // "rec.cff" would open the rec.cfg beside it
    } else {
        const std::size_t mark = input.find("@DAT@\n");
        const std::string cfg = input.substr(0, mark), dat = mark == std::string::npos ? "" : input.substr(mark + 6);
        file = (put("rec.dat", dat), put("rec.cfg", cfg));
        if (name == 3)
            put("rec.hdr", cfg), put("rec.inf", dat);
        else
            std::remove((file.substr(0, file.size() - 4) + ".hdr").c_str()), std::remove((file.substr(0, file.size() - 4) + ".inf").c_str());
        if (name == 1 || name == 2) file.replace(file.size() - 4, 4, name == 1 ? ".dat" : ".CFG");
    }
    if (way & 1u)
        loadColumnar(file, data, size);
    else
        loadComtrade(file, data, size);
    return 0;
}
