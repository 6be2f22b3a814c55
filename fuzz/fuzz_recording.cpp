// Whole recordings as a host opens them. The input is a .cfg and a .dat glued
// together: <cfg bytes> "@DAT@\n" <dat bytes> (no marker: an empty .dat).
// Comtrade and the columnar path read the same values; the pair reads alike
// under every accepted name, as one combined file and with CR LF line ends;
// the raw input is also opened as a combined file; the views read any window
// (NaN, infinities and huge times from the input's tail) within bounds.

#include "FuzzInput.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace KivComtradeLib;
using KivFuzz::check;

namespace {

std::string path(const std::string& name)
{
    static const struct Folder {
        std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kivfuzz-XXXXXX";
        Folder() { check(mkdtemp(&path[0]) != nullptr, "cannot make a folder"); }
        ~Folder() { std::error_code ec; std::filesystem::remove_all(path, ec); }
    } folder;
    return folder.path + "/" + name;
}

std::string put(const std::string& name, const std::string& bytes)
{
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    check(bool(out << bytes), "cannot write an input file");
    return path(name);
}

// Everything a load yields, as bytes: record count, channel names, times,
// then analog values and states channel by channel.
std::string image(const Cfg& cfg, const std::vector<double>& time, const std::vector<double>& analog,
                  const std::vector<std::uint8_t>& status)
{
    std::string s = std::to_string(time.size());
    for (const auto& ch : cfg.analogChannels) s += "|" + ch.name();
    for (const auto& ch : cfg.binaryChannels) s += "|" + ch.name();
    s.append(reinterpret_cast<const char*>(time.data()), time.size() * sizeof(double));
    s.append(reinterpret_cast<const char*>(analog.data()), analog.size() * sizeof(double));
    return s.append(status.begin(), status.end());
}

// Loads `file` with Comtrade and with ColumnarRecording: the same result,
// report and values (`values`, empty on failure), and the state each result promises.
int load(const std::string& file, std::string& values, Comtrade& rec)
{
    const int code = rec.load(file);
    ColumnarRecording col;
    check(col.load(file) == code && col.report.message == rec.report.message, "columnar result differs");
    check((code == 0 || (code >= 2 && code <= 6)) && rec.loaded == (code == 0), "result code or loaded flag");
    check(code == 0 || (rec.analogChannels.empty() && rec.binaryChannels.empty()), "failed load left views");
    values.clear();
    if (code != 0) return code;
    const std::size_t n = rec.dat.samples.size(), analogs = rec.cfg.analogChannels.size(),
                      states = rec.cfg.binaryChannels.size();
    check(rec.analogChannels.size() == analogs && rec.binaryChannels.size() == states, "one view per channel");
    check(n <= rec.cfg.samplesCount && (n > 0 || rec.cfg.dataFileType == Enums::Ascii), "record count");
    std::vector<double> time, analog(n * analogs);
    std::vector<std::uint8_t> status(n * states);
    unsigned long long nans = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const Sample& s = rec.dat.samples[k];
        check(s.index == k && s.analogValues.size() == analogs && s.binaryValues.size() == states, "sample shape");
        time.push_back(s.time);
        for (std::size_t c = 0; c < analogs; ++c) nans += std::isnan(analog[c * n + k] = s.analogValues[c]);
        for (std::size_t c = 0; c < states; ++c) status[c * n + k] = s.binaryValues[c];
    }
    check(rec.report.missingValues <= nans, "more missing values reported than NaN values");
    values = image(rec.cfg, time, analog, status);
    check(values == image(col.cfg, col.time, col.analog, col.status), "columnar values differ");
    return code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t mark = input.find("@DAT@\n");
    const std::string cfg = input.substr(0, mark), dat = mark == std::string::npos ? "" : input.substr(mark + 6);
    put("rec.dat", dat);
    put("rec.hdr", cfg);
    Comtrade rec, other, crlfRec;
    std::string values, otherValues;
    const int code = load(put("rec.cfg", cfg), values, rec);
    for (const char* name : {"rec.dat", "rec.cff", "rec.CFG"})
        check(load(path(name), otherValues, other) == code && otherValues == values, "names disagree");

    // The CFG section of a combined file ends at the DAT header, so the two
    // agree unless the .cfg holds a line a header could be, lacks its final
    // line end, or holds the DOS end-of-file mark.
    const int oneCode = load(put("one.cff", "--- file type: CFG ---\n" + cfg + "--- file type: DAT: " +
                                                std::to_string(dat.size()) + " ---\n" + dat), otherValues, other);
    if (!cfg.empty() && cfg.back() == '\n' && cfg.find('\x1A') == std::string::npos &&
        cfg.find_first_of("- \t") != 0 && cfg.find("\n-") == std::string::npos &&
        cfg.find("\n ") == std::string::npos && cfg.find("\n\t") == std::string::npos)
        check(oneCode == code && otherValues == values, "combined file and pair disagree");

    // CR LF line ends read as LF ones (the .dat's too when it is text).
    if (cfg.find('\r') == std::string::npos && dat.find('\r') == std::string::npos) {
        std::string crlf[2];
        for (int f = 0; f < 2; ++f)
            for (char c : f ? dat : cfg) crlf[f] += c == '\n' ? std::string("\r\n") : std::string(1, c);
        put("crlf.dat", code == 0 && rec.cfg.dataFileType == Enums::Ascii ? crlf[1] : dat);
        put("crlf.hdr", crlf[0]);
        check(load(put("crlf.cfg", crlf[0]), otherValues, crlfRec) == code && otherValues == values &&
                  crlfRec.headerText == rec.headerText, "CR LF line ends change the recording");
    }
    load(put("raw.cff", input), otherValues, other);
    if (code != 0) return 0;

    double w[4] = {0.0, -1.0, 0.0, 0.0}; // the whole recording, then two raw doubles
    std::memcpy(&w[2], data + size - std::min<std::size_t>(size, 16), std::min<std::size_t>(size, 16));
    const std::size_t n = rec.dat.samples.size();
    const double last = n ? rec.dat.samples.back().time : 0.0;
    Comtrade copy(rec); // a copy rebinds its views to its own samples
    const Comtrade moved(std::move(copy));
    for (std::size_t i = 0; i < rec.analogChannels.size(); ++i) {
        const AnalogChannel& ch = rec.analogChannels[i];
        for (int k = 0; k < 4; k += 2) {
            const double rate = 1000.0 / ((w[k + 1] < 0 ? last : w[k + 1]) - w[k]); // about 1000 points
            const bool sane = std::isfinite(rate) && rate > 0;
            check(ch.getPoints(w[k], w[k + 1], sane ? rate : 1.0).size() <= 1001, "analog points beyond their count");
            unsigned int hint = 0;
            for (double t : {w[k], w[k + 1], last, -w[k]})
                check((ch.getValue(t, hint), hint < std::max<std::size_t>(n, 1)), "hint moved past the samples");
        }
        check(ch.getPoints(0.0, 1.0, 1e15).empty(), "a request no memory could hold is not empty");
        check(KivFuzz::sameBytes(ch.getPoints(0.0, -1.0, 100.0), moved.analogChannels[i].getPoints(0.0, -1.0, 100.0)),
              "a copy reads other analog points");
    }
    for (std::size_t i = 0; i < rec.binaryChannels.size(); ++i) {
        for (int k = 0; k < 4; k += 2) // opening point, one per change, up to two closing points
            check(rec.binaryChannels[i].getPoints(w[k], w[k + 1], 0.0).size() <= n + 3, "status points beyond their count");
        check(KivFuzz::sameBytes(rec.binaryChannels[i].getPoints(0.0, -1.0, 0.0),
                                 moved.binaryChannels[i].getPoints(0.0, -1.0, 0.0)), "a copy reads other status points");
    }
    return 0;
}
