// Whole recordings through Comtrade::load, as a host would open any file a
// user hands it. The input is a .cfg and a .dat glued together:
//
//   <cfg bytes> "@DAT@\n" <dat bytes>
//
// (no marker: everything is the .cfg and the .dat is empty). Both files are
// rewritten into one private folder for every input and loaded under each
// accepted extension; all four loads must agree. The same two parts glued
// into a combined file (.cff with CFG and DAT sections) must load as the pair
// does, and the raw input is also loaded as a combined file of its own. When
// the recording loads, every view is read over a few windows derived from the
// input.

#include "FuzzInput.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace KivComtradeLib;

namespace {

const char kMarker[] = "@DAT@\n";

using KivFuzz::check;

[[noreturn]] void fail(const char* what) {
    check(false, what);
    std::abort();
}

struct Folder {
    std::string path;
    Folder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kivfuzz-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) fail("mkdtemp failed");
        path = buf.data();
    }
    ~Folder() {
        std::remove((path + "/rec.cfg").c_str());
        std::remove((path + "/rec.dat").c_str());
        std::remove((path + "/one.cff").c_str());
        std::remove((path + "/raw.cff").c_str());
        rmdir(path.c_str());
    }
};

const std::string& folder() {
    static Folder f; // created once per process, removed at exit
    return f.path;
}

void writeFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) fail("cannot write the input files");
}

std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// What every outcome of a load promises about the object.
void checkState(const Comtrade& rec, int code) {
    check(code == 0 || (code >= 2 && code <= 6), "load returned a code outside 0, 2..6");
    if (code != 0) {
        check(!rec.loaded, "failed load left loaded true");
        check(rec.analogChannels.empty() && rec.binaryChannels.empty(),
              "failed load left views");
        if (code == 6) check(rec.dat.samples.empty(), "code 6 left samples");
        return;
    }
    check(rec.loaded, "successful load left loaded false");
    check(rec.analogChannels.size() == rec.cfg.analogChannels.size(), "analog views");
    check(rec.binaryChannels.size() == rec.cfg.binaryChannels.size(), "status views");
    // Both kinds load what they hold, up to the announced count.
    check(rec.dat.samples.size() <= rec.cfg.samplesCount, "sample count beyond the announced one");
    if (rec.cfg.dataFileType != Enums::Ascii)
        check(!rec.dat.samples.empty(), "binary load without a whole record");
    unsigned long long nans = 0;
    for (const Sample& s : rec.dat.samples)
        for (double v : s.analogValues) nans += std::isnan(v) ? 1u : 0u;
    check(rec.report.missingValues <= nans, "more missing values reported than NaN values");
    for (std::size_t k = 0; k < rec.dat.samples.size(); ++k) {
        const Sample& s = rec.dat.samples[k];
        check(s.index == k, "sample index");
        check(s.analogValues.size() == rec.cfg.analogChannels.size(), "analog values per sample");
        check(s.binaryValues.size() == rec.cfg.binaryChannels.size(), "status values per sample");
    }
}

struct Window {
    double start;
    double end;
};

// A rate that gives about `points` points over the window (an end below 0
// stands for the last sample's time).
double boundedRate(double start, double end, double lastTime, double points = 10000.0) {
    double e = end < 0 ? lastTime : end;
    double span = e - start;
    if (!(std::isfinite(span) && span > 0)) return 1.0;
    double rate = points / span;
    return std::isfinite(rate) ? rate : 1.0;
}

void readViews(const Comtrade& rec, const std::vector<Window>& windows) {
    double lastTime = rec.dat.samples.empty() ? 0.0 : rec.dat.samples.back().time;
    for (const AnalogChannel& ch : rec.analogChannels) {
        (void)ch.name();
        (void)ch.phase();
        (void)ch.unit();
        (void)ch.isCurrent();
        for (const Window& w : windows) {
            double rate = boundedRate(w.start, w.end, lastTime);
            std::vector<Kiv::PointF> pts = ch.getPoints(w.start, w.end, rate);
            check(pts.size() <= 10001, "analog getPoints beyond its count");
            unsigned int hint = 0;
            double times[] = {w.start, (w.start + w.end) / 2, w.end, lastTime, -w.start};
            for (double t : times) {
                if (!rec.dat.samples.empty() && hint >= rec.dat.samples.size())
                    fail("getValue moved hint past the samples");
                (void)ch.getValue(t, hint);
            }
        }
        // Default rate on a short window: about 1000 points. (The start must
        // not be negative: an end below 0 stands for the whole recording.)
        double s = std::fabs(windows[1].start);
        if (!std::isfinite(s)) s = 0.0;
        std::vector<Kiv::PointF> pts = ch.getPoints(s, s + 0.01, -1.0);
        check(pts.size() <= 1002, "default-rate getPoints beyond its count");
        // A request no memory could hold must come back empty, not allocate.
        check(ch.getPoints(0.0, 1.0, 1e15).empty(), "huge getPoints request not empty");
    }
    for (const BinaryChannel& ch : rec.binaryChannels) {
        (void)ch.name();
        for (const Window& w : windows) {
            std::vector<Kiv::PointF> pts = ch.getPoints(w.start, w.end, 0.0);
            // Opening point, one per change, up to two closing points.
            check(pts.size() <= rec.dat.samples.size() + 3, "status getPoints too long");
        }
    }
}

bool samePoints(const std::vector<Kiv::PointF>& a, const std::vector<Kiv::PointF>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof a[i]) != 0) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    const std::uint8_t* mark = std::search(data, end, kMarker, kMarker + sizeof kMarker - 1);
    const std::uint8_t* datBegin = mark == end ? end : mark + (sizeof kMarker - 1);

    const std::string& dir = folder();
    writeFile(dir + "/rec.cfg", data, static_cast<std::size_t>(mark - data));
    writeFile(dir + "/rec.dat", datBegin, static_cast<std::size_t>(end - datBegin));

    Comtrade rec;
    const char* exts[] = {".cfg", ".dat", ".cff", ".CFG"};
    int first = -1;
    std::string cfgMessage;
    for (const char* ext : exts) {
        int code = rec.load(dir + "/rec" + ext);
        checkState(rec, code);
        if (first < 0) {
            first = code;
            cfgMessage = rec.report.message;
        }
        check(code == first, "loads under different extensions disagree");
    }
    // The columnar path reads the same files to the same result and bits.
    ColumnarRecording col;
    check(col.load(dir + "/rec.cfg") == first, "columnar and Comtrade codes disagree");
    check(col.report.message == cfgMessage, "columnar and Comtrade reports disagree");
    if (first == 0) {
        const std::size_t n = rec.dat.samples.size();
        check(col.count == n, "columnar record count");
        for (std::size_t k = 0; k < n; ++k) {
            const Sample& s = rec.dat.samples[k];
            check(std::memcmp(&col.time[k], &s.time, sizeof s.time) == 0, "columnar time");
            for (std::size_t c = 0; c < s.analogValues.size(); ++c)
                check(std::memcmp(&col.analog[c * n + k], &s.analogValues[c], sizeof(double)) == 0,
                      "columnar analog value");
            for (std::size_t d = 0; d < s.binaryValues.size(); ++d)
                check(col.status[d * n + k] == (s.binaryValues[d] ? 1 : 0), "columnar state");
        }
    }
    // The pair as one combined file. Its CFG section ends at the DAT header,
    // so the two agree unless the .cfg holds a line a header could be, lacks
    // its final line end, or holds the DOS end-of-file mark.
    const std::string cfg(reinterpret_cast<const char*>(data), static_cast<std::size_t>(mark - data));
    const std::string dat(reinterpret_cast<const char*>(datBegin), static_cast<std::size_t>(end - datBegin));
    const std::string combined = "--- file type: CFG ---\n" + cfg + "--- file type: DAT: " +
                                 std::to_string(dat.size()) + " ---\n" + dat;
    writeFile(dir + "/one.cff", reinterpret_cast<const std::uint8_t*>(combined.data()), combined.size());
    Comtrade one;
    const int oneCode = one.load(dir + "/one.cff");
    checkState(one, oneCode);
    const bool comparable = (cfg.empty() || cfg.back() == '\n') && cfg.find('\x1A') == std::string::npos &&
                            cfg.find("\n-") == std::string::npos && cfg.find("\n -") == std::string::npos &&
                            cfg.find("\n\t") == std::string::npos && cfg.rfind("-", 0) != 0 &&
                            cfg.rfind(" ", 0) != 0 && cfg.rfind("\t", 0) != 0;
    if (comparable && !cfg.empty()) {
        check(oneCode == first, "combined file and pair disagree");
        check(one.dat.samples.size() == rec.dat.samples.size(), "combined file and pair: samples");
    }
    writeFile(dir + "/raw.cff", data, size);
    Comtrade whole;
    checkState(whole, whole.load(dir + "/raw.cff"));

    bool wasLoaded = rec.loaded;
    check(rec.load(dir + "/rec.txt") == 1 && rec.loaded == wasLoaded, "non-recording name");
    if (first != 0) return 0;

    // Windows: the whole recording, a hashed slice of it, and two raw doubles
    // from the input's tail (NaN, infinities and huge values included).
    double duration = rec.duration;
    std::uint64_t h = fnv1a(data, size);
    double f1 = static_cast<double>(h & 0xffff) / 65535.0;
    double f2 = static_cast<double>((h >> 16) & 0xffff) / 65535.0;
    double span = std::isfinite(duration) ? duration : 1.0;
    std::size_t tail = size < 16 ? size : 16;
    KivFuzz::Input raw(end - tail, tail);
    double r1 = raw.rawDouble();
    double r2 = raw.rawDouble();
    std::vector<Window> windows = {
        {0.0, -1.0},
        {span * f1 - span * 0.1, span * f2 * 1.2},
        {r1, r2},
    };
    readViews(rec, windows);

    // A copy rebinds its views to its own data and must read the same.
    Comtrade copy(rec);
    Comtrade moved(std::move(copy));
    check(moved.analogChannels.size() == rec.analogChannels.size() &&
              moved.binaryChannels.size() == rec.binaryChannels.size(),
          "copied views");
    double lastTime = rec.dat.samples.empty() ? 0.0 : rec.dat.samples.back().time;
    double rate = boundedRate(0.0, -1.0, lastTime, 1000.0);
    for (std::size_t i = 0; i < rec.analogChannels.size(); ++i) {
        check(samePoints(rec.analogChannels[i].getPoints(0.0, -1.0, rate),
                         moved.analogChannels[i].getPoints(0.0, -1.0, rate)),
              "copy reads other analog points");
    }
    for (std::size_t i = 0; i < rec.binaryChannels.size(); ++i) {
        check(samePoints(rec.binaryChannels[i].getPoints(0.0, -1.0, 0.0),
                         moved.binaryChannels[i].getPoints(0.0, -1.0, 0.0)),
              "copy reads other status points");
    }
    return 0;
}
