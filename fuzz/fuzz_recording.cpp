// Whole recordings as a host opens them; the input is <cfg> "@DAT@\n" <dat>.
// Comtrade and the columnar path read the same values; the pair reads alike
// under every accepted name, as one combined file and with CR LF line ends;
// the raw input is opened as a combined file; the views read any window;
// selective loads and blocks of a window and some channels give the same
// records as the whole load.

#include "FuzzInput.h"

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace KivComtradeLib;
using KivFuzz::check;

namespace {

// Writes `bytes` as `name` in a private folder removed at exit; returns its path.
std::string put(const std::string& name, const std::string& bytes)
{
    static const struct Folder {
        std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kivfuzz-XXXXXX";
        Folder() { check(mkdtemp(&path[0]) != nullptr, "cannot make a folder"); }
        ~Folder() { std::error_code ec; std::filesystem::remove_all(path, ec); }
    } folder;
    const std::string file = folder.path + "/" + name;
    check(bool(std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes), "cannot write an input file");
    return file;
}

// Everything a load yields, as bytes: record count, channel names, times,
// then analog values and states channel by channel.
std::string image(const Cfg& cfg, const std::vector<double>& t, const std::vector<double>& a, const std::vector<std::uint8_t>& d)
{
    std::string s = std::to_string(t.size());
    for (const auto& ch : cfg.analogChannels) s += "|" + ch.name();
    for (const auto& ch : cfg.binaryChannels) s += "|" + ch.name();
    s.append(reinterpret_cast<const char*>(t.data()), t.size() * sizeof(double));
    s.append(reinterpret_cast<const char*>(a.data()), a.size() * sizeof(double));
    return s.append(d.begin(), d.end());
}

// Loads `file` with Comtrade and with ColumnarRecording: the same result,
// report and values (`values`, empty on failure), and the state each result promises.
int load(const std::string& file, std::string& values, Comtrade& rec)
{
    const int code = rec.load(file);
    ColumnarRecording col;
    check(col.load(file) == code && col.report.message == rec.report.message, "columnar result differs");
    check(rec.loaded == (code == 0) && (code == 0 || (code >= 2 && code <= 6 && rec.analogChannels.empty() &&
                                                      rec.binaryChannels.empty())), "result code, loaded flag or views");
    values.clear();
    if (code != 0) return code;
    const std::size_t n = rec.dat.samples.size(), analogs = rec.analogChannels.size(), states = rec.binaryChannels.size();
    check(rec.cfg.analogChannels.size() == analogs && rec.cfg.binaryChannels.size() == states, "one view per channel");
    check(n <= rec.cfg.samplesCount && (n > 0 || rec.cfg.dataFileType == Enums::Ascii), "record count");
    std::vector<double> time, analog(n * analogs);
    std::vector<std::uint8_t> status(n * states);
    for (std::size_t k = 0; k < n; ++k) {
        const Sample& s = rec.dat.samples[k];
        check(s.index == k && s.analogValues.size() == analogs && s.binaryValues.size() == states, "sample shape");
        time.push_back(s.time);
        for (std::size_t c = 0; c < analogs; ++c) analog[c * n + k] = s.analogValues[c];
        for (std::size_t c = 0; c < states; ++c) status[c * n + k] = s.binaryValues[c];
    }
    values = image(rec.cfg, time, analog, status);
    check(values == image(col.cfg, col.time, col.analog, col.status), "columnar values differ");
    return code;
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t mark = input.find("@DAT@\n");
    const std::string cfg = input.substr(0, mark), dat = mark == std::string::npos ? "" : input.substr(mark + 6);
    const std::string base = (put("rec.dat", dat), put("rec.hdr", cfg), put("rec.cfg", cfg));
    Comtrade rec, other;
    std::string values, otherValues;
    const int code = load(base, values, rec);
    for (const char* ext : {".dat", ".cff", ".CFG"})
        check(load(base.substr(0, base.size() - 4) + ext, otherValues, other) == code && otherValues == values, "names");

    // A combined file's CFG section ends at the DAT header: the two agree unless the .cfg
    // holds a line a header could be, lacks its final line end, or holds the DOS end-of-file mark.
    const int oneCode = load(put("one.cff", "--- file type: CFG ---\n" + cfg + "--- file type: DAT: " +
                                                std::to_string(dat.size()) + " ---\n" + dat), otherValues, other);
    bool comparable = !cfg.empty() && cfg.back() == '\n';
    for (const char* bad : {"\x1A", "\n-", "\n ", "\n\t"}) comparable &= ("\n" + cfg).find(bad) == std::string::npos;
    check(!comparable || (oneCode == code && otherValues == values), "combined file and pair disagree");

    // CR LF line ends read as LF ones (the .dat's too when it is text).
    if (cfg.find('\r') == std::string::npos && dat.find('\r') == std::string::npos) {
        std::string crlf[2];
        for (int f = 0; f < 2; ++f)
            for (char c : f ? dat : cfg) crlf[f] += c == '\n' ? std::string("\r\n") : std::string(1, c);
        put("crlf.dat", code == 0 && rec.cfg.dataFileType == Enums::Ascii ? crlf[1] : dat);
        const int crlfCode = load((put("crlf.hdr", crlf[0]), put("crlf.cfg", crlf[0])), otherValues, other);
        check(crlfCode == code && otherValues == values && other.headerText == rec.headerText, "CR LF line ends");
    }
    load(put("raw.cff", input), otherValues, other);
    if (code != 0) return 0;

    // Windows: the whole recording, and two raw doubles of the input's tail (NaN, infinities, huge times).
    double w[4] = {0.0, -1.0, 0.0, 0.0};
    std::memcpy(&w[2], data + size - std::min<std::size_t>(size, 16), std::min<std::size_t>(size, 16));
    const std::size_t n = rec.dat.samples.size();
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
    ColumnarRecording full;
    check(full.load(base) == 0, "columnar whole load");
    const double whole[2] = {std::nan(""), std::nan("")};
    checkSelection(base, full, whole, data, std::min<std::size_t>(size, 4));
    checkSelection(base, full, &w[2], data + std::min<std::size_t>(size, 4), std::min<std::size_t>(size, 8) - std::min<std::size_t>(size, 4));
    if (n > 2) {
        const double middle[2] = {rec.dat.samples[n / 3].time, rec.dat.samples[2 * n / 3].time};
        checkSelection(base, full, middle, data, 0);
    }
    for (const BinaryChannel& ch : rec.binaryChannels) // opening point, one per change, two closing ones at most
        check(std::max(ch.getPoints(w[0], w[1], 0).size(), ch.getPoints(w[2], w[3], 0).size()) <= n + 3, "status points");
    return 0;
}
