// Writes the seed corpus of the fuzz targets from recordings made by the test
// writer:   kivcomtrade_fuzz_seeds <fuzz/corpus folder>
// Seeds stay small (a few hundred bytes) so that mutations reach every line.

#include "writer/ComtradeWriter.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace KivTest;
using KivComtradeLib::Enums::DataFileType;

namespace {

bool put(const std::string& dir, const std::string& name, const std::string& bytes) {
    if (!writeFile(dir + "/" + name, bytes)) {
        std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name.c_str());
        return false;
    }
    return true;
}

// The n-th line (0-based) of a text, without its line end.
std::string lineOf(const std::string& text, int n) {
    std::size_t pos = 0;
    for (int i = 0; i < n && pos != std::string::npos; ++i) {
        pos = text.find('\n', pos);
        if (pos != std::string::npos) ++pos;
    }
    if (pos == std::string::npos || pos >= text.size()) return {};
    std::size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

struct Seed {
    std::string name;
    Recording rec;
};

std::vector<Seed> recordings() {
    std::vector<Seed> seeds;
    AnalogLayout ia{"IA", "A", "CT1", "A", 0.01, 0.0, 0.0, -32767, 32767, 1000, 5, 'P'};
    AnalogLayout ub{"UB", "B", "", "kV", 0.5, 1.0, 12.5, -32767, 32767, 1, 1, 'S'};
    StatusLayout trip{"TRIP", "", "Q1", 0};
    StatusLayout brk{"BRK", "A", "", 1};

    RecordingLayout ascii;
    ascii.analogs = {ia, ub};
    ascii.statuses = {trip, brk};
    seeds.push_back({"ascii_1999", makeRecording(ascii, 6)});

    RecordingLayout ascii91 = ascii;
    ascii91.revYear = 1991;
    ascii91.crlf = true;
    ascii91.rates = {{0.0, 5}};
    seeds.push_back({"ascii_1991_crlf_timestamps", makeRecording(ascii91, 5)});

    RecordingLayout bin;
    bin.type = DataFileType::Binary;
    bin.analogs = {ia};
    bin.statuses = std::vector<StatusLayout>(17, trip);
    bin.rates = {{1000.0, 2}, {500.0, 4}};
    seeds.push_back({"binary_17_status_two_rates", makeRecording(bin, 4)});

    RecordingLayout b32;
    b32.type = DataFileType::Binary32;
    b32.revYear = 2013;
    b32.analogs = {ia, ub};
    b32.writeTimeMultiplier = true;
    b32.timeMultiplier = 2.0;
    seeds.push_back({"binary32_2013", makeRecording(b32, 3)});

    RecordingLayout f32;
    f32.type = DataFileType::Float32;
    f32.analogs = {ub};
    f32.statuses = {brk};
    f32.typeKeyword = "float32";
    f32.finalLineEnd = false;
    f32.writeTimeMultiplier = false;
    seeds.push_back({"float32_no_timemult", makeRecording(f32, 3)});

    RecordingLayout statusOnly;
    statusOnly.type = DataFileType::Binary;
    statusOnly.statuses = {trip};
    statusOnly.rates = {{0.0, 3}};
    seeds.push_back({"binary_status_only_timestamps", makeRecording(statusOnly, 3)});
    return seeds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <fuzz/corpus folder>\n", argv[0]);
        return 2;
    }
    std::string root = argv[1];
    bool ok = true;

    for (const Seed& s : recordings()) {
        std::string cfg = cfgText(s.rec.design, s.rec.samplesCount());
        ok = put(root + "/fuzz_recording", s.name, cfg + "@DAT@\n" + datBytes(s.rec)) && ok;
        // The same recording as one combined file, with header and information texts.
        CffStyle style;
        style.lenient = s.rec.design.crlf;
        style.header = "Fault on line 2";
        style.information = "[Public Record 1]\n";
        ok = put(root + "/fuzz_recording", s.name + "_cff", cffBytes(s.rec, style)) && ok;

        // fuzz_lines: revision byte, setup byte, analog line, status line, data line.
        std::string analog = s.rec.design.analogs.empty() ? "1,X,,,V,1,0,0,0,1" : lineOf(cfg, 2);
        std::string status = lineOf(cfg, 2 + static_cast<int>(s.rec.design.analogs.size()));
        std::string data = s.rec.design.type == DataFileType::Ascii ? lineOf(datBytes(s.rec), 0)
                                                                  : "1,2500,100,-5,1,0";
        char rev = s.rec.design.revYear == 1991 ? 0 : s.rec.design.revYear == 2013 ? 2 : 1;
        std::string lines;
        lines += rev;
        lines += static_cast<char>(3 | (s.rec.design.rates.empty() ? 0 : 16));
        lines += analog + "\n" + status + "\n" + data + "\n";
        ok = put(root + "/fuzz_lines", s.name, lines) && ok;
    }

    // The project's own sample recordings, cut to their first 20 records.
    for (const char* name : {"fault-slg-ascii", "fault-slg-binary"}) {
        std::string base = std::string(KIVCOMTRADE_SOURCE_DIR) + "/samples/" + name;
        std::string cfg = readFile(base + ".cfg");
        std::string dat = readFile(base + ".dat");
        std::size_t rate = cfg.find(",500\r\n");
        if (rate == std::string::npos) rate = cfg.find(",500\n");
        if (cfg.empty() || dat.empty() || rate == std::string::npos) {
            std::fprintf(stderr, "skipping %s: not found or not the expected layout\n", name);
            continue;
        }
        cfg.replace(rate, 4, ",20");
        if (cfg.find("BINARY") != std::string::npos) {
            dat.resize(dat.size() / 500 * 20);
        } else {
            std::size_t pos = 0;
            for (int k = 0; k < 20 && pos != std::string::npos; ++k) pos = dat.find('\n', pos + 1);
            if (pos != std::string::npos) dat.resize(pos + 1);
        }
        ok = put(root + "/fuzz_recording", std::string("sample_") + name, cfg + "@DAT@\n" + dat) && ok;
        // Its status line with a name in code page 1251.
        std::size_t hi = cfg.find_first_of("\xc0\xc1\xc2\xc3\xc4\xc5\xce\xcf\xd0\xd1\xd2\xd3");
        if (hi != std::string::npos) {
            std::size_t from = cfg.rfind('\n', hi) + 1;
            std::string line = cfg.substr(from, cfg.find_first_of("\r\n", hi) - from);
            ok = put(root + "/fuzz_encoding", std::string("sample_line_") + name, line) && ok;
        }
    }

    // fuzz_encoding: channel names in the three encodings and the worked strings.
    const char* texts[][2] = {
        {"utf8_channel", "1,\xd0\xa2\xd0\xbe\xd0\xba \xd1\x84\xd0\xb0\xd0\xb7\xd1\x8b \xd0\x90,A,,kA,1,0,0,-32767,32767"},
        {"cp1251_channel", "1,\xd2\xee\xea \xf4\xe0\xe7\xfb \xc0,A,,\xea\xc0,1,0,0,-32767,32767"},
        {"cp866_channel", "1,\x92\xae\xaa \xe4\xa0\xa7\xeb \x80,A,,\xaa\x80,1,0,0,-32767,32767"},
        {"tie_10_bytes", "\x80\xf2\xd0\x90\xd0\x91\xd0\x92\xd0\xd0"},
        {"mixed_7_bytes", "\xf2\xd0\x90\xd0\x91\xd0\xd0"},
        {"short_4_bytes", "\x80\xf2\xd0\x90"},
        {"utf8_edges", "\xed\xa0\x80 \xe0\x80\x80 \xf0\x90\x80\x80 \xf4\x8f\xbf\xbf \xc2\xa0\xd0"},
        {"ascii_line", "2,UB,B,,kV,0.5,1,12.5,-32767,32767,1,1,S"},
    };
    for (const auto& t : texts) ok = put(root + "/fuzz_encoding", t[0], t[1]) && ok;
    // Every byte once, NUL included.
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    ok = put(root + "/fuzz_encoding", "all_bytes", all) && ok;

    return ok ? 0 : 1;
}
