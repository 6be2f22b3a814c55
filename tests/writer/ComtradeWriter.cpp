#include "writer/ComtradeWriter.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <stdlib.h> // mkdtemp

namespace KivTest {

using namespace KivComtradeLib::Enums;

namespace {

// Shortest round-trip form, so that the reader gives back exactly the double written.
template <typename T>
std::string num(T value)
{
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof(buf), value).ptr);
}

void appendLe(std::string& out, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Rounded, then wrapped modulo 2^32 the way the text scanner accumulates.
std::uint32_t wrap32(double raw)
{
    return static_cast<std::uint32_t>(static_cast<unsigned long long>(std::llround(raw)));
}

void appendRecord(std::string& out, const RecordingLayout& design, const Record& r)
{
    const std::size_t nA = design.analogs.size(), nD = design.statuses.size();
    const auto raw = [&](std::size_t c) { return c < r.raw.size() ? r.raw[c] : 0.0; };
    const auto on = [&](std::size_t d) { return d < nD && d < r.status.size() && r.status[d]; };
    if (design.type == Ascii) {
        out += num(r.sampleNumber) + "," + num(r.timeStamp);
        for (std::size_t c = 0; c < nA; ++c)
            out += "," + num(std::llround(raw(c)));
        for (std::size_t d = 0; d < nD; ++d)
            out += on(d) ? ",1" : ",0";
        out += design.crlf ? "\r\n" : "\n";
        return;
    }
    appendLe(out, r.sampleNumber, 4);
    appendLe(out, r.timeStamp, 4);
    for (std::size_t c = 0; c < nA; ++c) {
        std::uint32_t bits = wrap32(raw(c));
        if (design.type == Float32) {
            const float f = static_cast<float>(raw(c));
            std::memcpy(&bits, &f, sizeof(bits));
        }
        appendLe(out, bits, design.type == Binary ? 2 : 4);
    }
    // Status channel 16*g+b is bit b of word g.
    for (std::size_t g = 0; g * 16 < nD; ++g) {
        std::uint32_t word = 0;
        for (std::size_t b = 0; b < 16; ++b)
            word |= std::uint32_t(on(g * 16 + b)) << b;
        appendLe(out, word, 2);
    }
}

} // namespace

std::string typeKeyword(DataFileType type)
{
    return type == Binary ? "BINARY" : type == Binary32 ? "BINARY32" : type == Float32 ? "FLOAT32" : "ASCII";
}

double storedRaw(DataFileType type, double raw)
{
    if (type == Float32)
        return static_cast<float>(raw);
    if (type == Binary)
        return static_cast<std::int16_t>(wrap32(raw) & 0xFFFFu);
    return static_cast<std::int32_t>(wrap32(raw));
}

double engineeringValue(const RecordingLayout& design, std::size_t c, double raw)
{
    const AnalogLayout& an = design.analogs.at(c);
    // Only a 13-field line (revision 1999 on) can say primary.
    const double ratio = design.revYear >= 1999 && an.ps != 'S' && an.ps != 's' ? an.secondary / an.primary : 1.0;
    double multiplier = 1.0;
    if (an.unit.size() >= 2)
        multiplier = an.unit[0] == 'k' || an.unit[0] == 'K' ? 1e3 : an.unit[0] == 'M' ? 1e6 : an.unit[0] == 'm' ? 1e-3 : 1.0;
    return (raw * (ratio * an.a) + ratio * an.b) * multiplier;
}

unsigned long long Recording::samplesCount() const { return records.size(); }

double Recording::expectedValue(std::size_t k, std::size_t c) const
{
    return engineeringValue(design, c, storedRaw(design.type, records.at(k).raw.at(c)));
}

Recording makeRecording(RecordingLayout design, std::size_t records)
{
    Recording rec{std::move(design), std::vector<Record>(records)};
    const DataFileType type = rec.design.type;
    const double amplitude = type == Binary ? 32767.0 : type == Binary32 ? 2.0e9 : type == Float32 ? 1234.5678 : 30000.0;
    for (std::size_t k = 0; k < records; ++k) {
        Record& r = rec.records[k];
        r.sampleNumber = static_cast<std::uint32_t>(k + 1);
        r.timeStamp = static_cast<std::uint32_t>(k * 1000u);
        for (std::size_t c = 0; c < rec.design.analogs.size(); ++c) {
            const double v = amplitude * std::sin(2.0 * 3.14159265358979323846 * double(k) / 20.0 + 0.7 * double(c));
            r.raw.push_back(type == Float32 ? v : std::round(v));
        }
        for (std::size_t d = 0; d < rec.design.statuses.size(); ++d)
            r.status.push_back(((k / (d + 2)) + d) % 2 == 1);
    }
    return rec;
}

std::string cfgText(const RecordingLayout& design, unsigned long long samplesCount)
{
    const std::string nl = design.crlf ? "\r\n" : "\n";
    const bool rev1991 = design.revYear < 1999;
    const std::size_t nA = design.analogs.size(), nD = design.statuses.size();
    std::string out = design.station + "," + design.device + (rev1991 ? "" : "," + num(design.revYear)) + nl;
    out += num(nA + nD) + "," + num(nA) + "A," + num(nD) + "D" + nl;
    for (std::size_t c = 0; c < nA; ++c) {
        const AnalogLayout& an = design.analogs[c];
        out += num(c + 1) + "," + an.id + "," + an.phase + "," + an.circuitComponent + "," + an.unit + "," +
               num(an.a) + "," + num(an.b) + "," + num(an.skewMicroseconds) + "," + num(an.min) + "," + num(an.max);
        if (!rev1991)
            out += "," + num(an.primary) + "," + num(an.secondary) + "," + an.ps;
        out += nl;
    }
    for (std::size_t d = 0; d < nD; ++d) {
        const StatusLayout& st = design.statuses[d];
        out += num(d + 1) + "," + st.id + "," + (rev1991 ? "" : st.phase + "," + st.circuitComponent + ",") +
               num(st.normalState) + nl;
    }
    out += num(design.lineFrequency) + nl;
    if (design.rates.empty())
        out += "1" + nl + "1000," + num(samplesCount) + nl;
    else
        out += num(design.rates.size()) + nl;
    for (const RateLayout& r : design.rates)
        out += num(r.rate) + "," + num(r.endSample) + nl;
    out += design.startTime + nl + design.triggerTime + nl;
    out += (design.typeKeyword.empty() ? typeKeyword(design.type) : design.typeKeyword) + nl;
    if (design.writeTimeMultiplier)
        out += num(design.timeMultiplier) + nl;
    if (!design.finalLineEnd)
        out.resize(out.size() - nl.size());
    return out;
}

std::string datBytes(const Recording& recording)
{
    std::string out;
    for (const Record& r : recording.records)
        appendRecord(out, recording.design, r);
    return out;
}

bool writeRecording(const Recording& recording, const std::string& basePath, const std::string& cfgExt,
                    const std::string& datExt)
{
    return writeFile(basePath + cfgExt, cfgText(recording.design, recording.samplesCount())) &&
           writeFile(basePath + datExt, datBytes(recording));
}

std::string cffBytes(const Recording& recording, const CffStyle& style)
{
    const std::string nl = recording.design.crlf ? "\r\n" : "\n";
    const std::string dat = datBytes(recording);
    std::string out = (style.lenient ? "--  File Type CFG --" : "--- file type: CFG ---") + nl;
    out += cfgText(recording.design, recording.samplesCount()) + (recording.design.finalLineEnd ? "" : nl);
    const auto section = [&](const char* canonical, const char* lenient, const std::string& text) {
        if (text.empty())
            return;
        out += (style.lenient ? lenient : canonical) + nl;
        for (char ch : text)
            out += ch == '\n' ? nl : std::string(1, ch);
        if (text.back() != '\n')
            out += nl;
    };
    section("--- file type: INF ---", "-- FILE TYPE: inf ---", style.information);
    section("--- file type: HDR ---", "---file type hdr---", style.header);
    out += style.lenient ? "-- file type DAT" : "--- file type: DAT " + typeKeyword(recording.design.type);
    if (recording.design.type != Ascii)
        out += (style.lenient ? " " : ": ") + num(dat.size());
    return out + (style.lenient ? " --" : " ---") + nl + dat;
}

bool writeGenerated(const RecordingLayout& design, unsigned long long samplesCount,
                    const std::function<void(unsigned long long, Record&)>& fill, const std::string& basePath)
{
    std::ofstream file(basePath + ".dat", std::ios::binary | std::ios::trunc);
    Record record;
    record.raw.assign(design.analogs.size(), 0.0);
    record.status.assign(design.statuses.size(), false);
    std::string buffer;
    for (unsigned long long k = 0; k < samplesCount && file; ++k) {
        fill(k, record);
        appendRecord(buffer, design, record);
        if (buffer.size() >= (1u << 20) || k + 1 == samplesCount) {
            file.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    file.close();
    return file && writeFile(basePath + ".cfg", cfgText(design, samplesCount));
}

std::string makeTempDir(const std::string& tag)
{
    const char* env = std::getenv("KIVCOMTRADE_TEST_TMP");
    const std::string base = env && *env ? env : "/tmp";
    std::filesystem::create_directories(base);
    std::string pattern = base + "/kivcomtrade-";
    for (char ch : tag)
        pattern += std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' ? ch : '_';
    pattern += "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder under " + base);
    return pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

std::string toCrLf(const std::string& text)
{
    std::string out;
    for (char ch : text)
        out += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    return out;
}

std::string sharedSamplesDir()
{
    std::error_code ec;
    return std::filesystem::is_directory(KIVCOMTRADE_SAMPLES_DIR, ec) ? KIVCOMTRADE_SAMPLES_DIR : "";
}

} // namespace KivTest
