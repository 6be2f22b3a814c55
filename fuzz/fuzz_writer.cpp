// Loaded recordings written back: the input is <cfg> "@DAT@\n" <dat>, as for
// fuzz_recording. Whatever loads is written (the type and revision taken from
// the input's length) and must read back: the same records, status bits and
// names, each analog value bit for bit where the writer kept the source's
// integers, else within half a step of the written gain (float rounding for
// FLOAT32); missing values stay missing. Comtrade and ColumnarRecording write
// the same bytes, a .cff the same values, and a failed write leaves no file.

#include "FuzzInput.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/Writer.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace KivComtradeLib;
using KivFuzz::check;
using KivFuzz::folder;
using KivFuzz::put;

namespace {

std::string bytesOf(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Until the coarse clock file times come from has passed the file's times.
void waitPastFileTimes(const std::string& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return;
    const auto ns = [](const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; };
    const long long latest = std::max(ns(st.st_mtim), ns(st.st_ctim));
    for (timespec now {}; ::clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 && ns(now) <= latest;)
        ::usleep(500);
}

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A value read back from a channel written with `w`: exact, or within the step.
bool close(double v, double back, const AnalogChannelConfig& w, Enums::DataFileType type)
{
    if (same(v, back) || std::isnan(v) || std::isnan(back))
        return same(v, back) || (std::isnan(v) && std::isnan(back));
    // The reader's own (raw * a + b) * m rounds: a few units in the last place of its terms.
    const double m = std::fabs(w.multiplier),
                 slack = 1e-12 * std::fabs(v) + 1e-15 * (std::fabs(w.b) + 2147483648.0 * std::fabs(w.a)) * m + 1e-300;
    const double step = type == Enums::Float32 ? std::fabs(v / w.multiplier - w.b) * m * 1.2e-7
                                               : 0.5 * std::fabs(w.a) * m * (1.0 + 1e-9);
    return std::fabs(v - back) <= step + slack;
}

// A table of positive rates over growing sample numbers gives the same times
// when written again.
bool plainRates(const Cfg& cfg, std::size_t count)
{
    if (!cfg.allRatesNonZero)
        return false;
    unsigned long long last = 0;
    for (const SamplingRate& rate : cfg.samplingRates) {
        if (!(rate.rate > 0.0) || !std::isfinite(rate.rate) || rate.endSample <= last)
            return false;
        last = rate.endSample;
    }
    return last >= count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t mark = input.find("@DAT@\n");
    put("in.dat", mark == std::string::npos ? "" : input.substr(mark + 6));
    const std::string source = put("in.cfg", input.substr(0, mark));
    Comtrade rec;
    ColumnarRecording col;
    if (rec.load(source) != 0 || col.load(source) != 0)
        return 0;

    WriteOptions options;
    options.type = static_cast<Enums::DataFileType>(size % 4);
    options.revision = size / 4 % 2 ? 1999 : 2013;
    const std::string out = folder() + "/out.cfg";
    std::filesystem::remove(out), std::filesystem::remove(folder() + "/out.dat");
    const WriteReport report = Writer::write(rec, out, options);
    // Names cannot hold a comma; a value may be infinite, or the recording empty.
    if (!report.ok()) {
        check(report.result == WriteReport::BadValues || report.result == WriteReport::EmptyWindow ||
                  report.result == WriteReport::NoChannels, "a loaded recording is refused");
        check(!report.message.empty() && !std::filesystem::exists(out), "a failed write left a file or no sentence");
        return 0;
    }
    const std::string cfgBytes = bytesOf(out), datBytes = bytesOf(folder() + "/out.dat");
    check(Writer::write(col, folder() + "/col.cfg", options).ok() && bytesOf(folder() + "/col.cfg") == cfgBytes &&
              bytesOf(folder() + "/col.dat") == datBytes, "Comtrade and columnar write other bytes");
    // A quarter of the inputs again from the data file's raw records, which a
    // load takes only from a file older than itself: the same bytes, unless
    // the values cannot give back the file's integers (a gain of 0, an offset
    // that swamps the gain, a channel the arrays' write rescaled); the values
    // then still read back bit for bit.
    if (size / 8 % 4 == 0) {
        waitPastFileTimes(folder() + "/in.dat");
        ColumnarRecording loaded;
        check(loaded.load(source) == 0, "a second load fails");
        WriteOptions reuse = options;
        reuse.reuseDataFile = true;
        const WriteReport raw = Writer::write(loaded, folder() + "/raw.cfg", reuse);
        check(raw.ok(), "a write from the data file fails");
        if (bytesOf(folder() + "/raw.cfg") != cfgBytes || bytesOf(folder() + "/raw.dat") != datBytes) {
            ColumnarRecording again;
            check(raw.dataFileReused && again.load(folder() + "/raw.cfg") == 0 &&
                      KivFuzz::sameBytes(again.analog, loaded.analog) && again.status == loaded.status,
                  "a write from the data file gives other bytes and other values");
        }
    }

    Comtrade back;
    check(back.load(out) == 0, "a written recording does not load");
    const std::size_t n = rec.dat.samples.size(), na = rec.cfg.analogChannels.size(), nd = rec.cfg.binaryChannels.size();
    check(back.dat.samples.size() == n && back.cfg.analogChannels.size() == na && back.cfg.binaryChannels.size() == nd,
          "counts differ");
    check(back.cfg.stationName == rec.cfg.stationName && back.cfg.recDevId == rec.cfg.recDevId, "station line");
    for (std::size_t c = 0; c < na; ++c)
        check(back.cfg.analogChannels[c].channelId == rec.cfg.analogChannels[c].channelId &&
                  back.cfg.analogChannels[c].unit == rec.cfg.analogChannels[c].unit, "analog names");
    for (std::size_t c = 0; c < nd; ++c)
        check(back.cfg.binaryChannels[c].channelId == rec.cfg.binaryChannels[c].channelId, "status names");
    const bool sameTimes = plainRates(rec.cfg, n);
    for (std::size_t k = 0; k < n; ++k) {
        const Sample &s = rec.dat.samples[k], &b = back.dat.samples[k];
        check(!sameTimes || same(s.time, b.time), "times differ");
        check(s.binaryValues == b.binaryValues, "status bits differ");
        for (std::size_t c = 0; c < na; ++c) {
            if (!close(s.analogValues[c], b.analogValues[c], back.cfg.analogChannels[c], options.type))
                std::fprintf(stderr, "record %zu channel %zu: %.17g read back as %.17g (a %.17g b %.17g)\n", k, c,
                             s.analogValues[c], b.analogValues[c], back.cfg.analogChannels[c].a, back.cfg.analogChannels[c].b);
            check(close(s.analogValues[c], b.analogValues[c], back.cfg.analogChannels[c], options.type),
                  "an analog value does not read back");
        }
    }

    // The same as one combined file.
    options.type = Enums::Binary32;
    const std::string cff = folder() + "/one.cff"; // out.cff would open the pair beside it
    check(Writer::write(rec, cff, options).ok(), "the .cff is refused");
    Comtrade combined;
    check(combined.load(cff) == 0 && combined.dat.samples.size() == n, "the .cff does not load");
    return 0;
}
