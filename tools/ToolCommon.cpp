#include "ToolCommon.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>

namespace KivTools {

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folder of the running program, from /proc (Linux); empty when unknown.
std::string programFolder()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Why a data file gave 6: the reader reports no detail, so the tool looks at
// the file again the way the reader does and names what does not fit.
std::string describeDataFailure(const KivComtradeLib::Comtrade& recording)
{
    using namespace KivComtradeLib;
    const Cfg& cfg = recording.cfg;
    const std::string dat = validUtf8(recording.datFileName);
    const std::string cfgName = validUtf8(recording.cfgFileName);

    if (cfg.samplesCount == 0)
        return "the configuration file " + cfgName +
               " announces no data records (its last sample number is 0), so the data file " +
               dat + " cannot be read";

    if (cfg.dataFileType != Enums::Ascii) {
        std::ifstream stream = Kiv::openInputFileUTF8Name(recording.datFileName,
                                                          std::ios_base::binary);
        const long long length = stream.is_open() ? FilesHelper::fileLength64(stream) : -1;
        if (length < 0)
            return "the data file " + dat + " cannot be opened or read";
        if (cfg.recordSize == 0 ||
            static_cast<unsigned long long>(length) / cfg.recordSize != cfg.samplesCount) {
            std::ostringstream text;
            text << "the data file " << dat
                 << " holds a different number of records than the configuration " << cfgName
                 << " announces (" << (cfg.recordSize ? static_cast<unsigned long long>(length) /
                                                           cfg.recordSize
                                                      : 0ULL)
                 << " whole records of " << cfg.recordSize << " bytes, " << cfg.samplesCount
                 << " announced)";
            return text.str();
        }
        return "a record of the data file " + dat +
               " cannot be read or decoded with the configuration " + cfgName;
    }

    std::ifstream stream = Kiv::openInputFileUTF8Name(recording.datFileName, std::ios_base::in);
    if (!stream.is_open())
        return "the data file " + dat + " cannot be opened or read";
    std::string line;
    unsigned long long record = 0;
    unsigned long long lineNumber = 0;
    while (record < cfg.samplesCount && std::getline(stream, line)) {
        ++lineNumber;
        if (line.empty())
            continue;
        bool decoded = false;
        try {
            Sample sample(cfg);
            decoded = sample.load(line, record);
        } catch (const std::exception&) {
            decoded = false;
        }
        if (!decoded) {
            std::ostringstream text;
            text << "line " << lineNumber << " of the data file " << dat
                 << " does not match the configuration " << cfgName << " (expected "
                 << cfg.channelsCount + 2
                 << " comma-separated fields: sample number, time stamp, "
                 << cfg.analogChannelsCount << " integer analog values, "
                 << cfg.channelsCount - cfg.analogChannelsCount << " status values)";
            return text.str();
        }
        ++record;
    }
    return "the data file " + dat + " cannot be read with the configuration " + cfgName;
}

} // namespace

std::string bundledRecordingPath()
{
    std::vector<std::string> folders;
    const std::string program = programFolder();
    if (!program.empty())
        folders.push_back(program + "/" + KIVCOMTRADE_TOOL_RELATIVE_SAMPLES);
    folders.emplace_back(KIVCOMTRADE_TOOL_SOURCE_SAMPLES);
    folders.emplace_back(KIVCOMTRADE_TOOL_INSTALL_SAMPLES);
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/" + kBundledRecording;
        if (isRegularFile(candidate))
            return candidate;
    }
    return {};
}

std::string describeLoadFailure(const KivComtradeLib::Comtrade& recording,
                                const std::string& path, int code)
{
    const std::string cfg = validUtf8(recording.cfgFileName);
    const std::string dat = validUtf8(recording.datFileName);
    switch (code) {
    case 1:
        return validUtf8(path) +
               " is not the name of a COMTRADE recording: its extension is none of .cfg, .dat "
               "and .cff";
    case 2:
        return "the configuration file " + cfg + " does not exist";
    case 3:
        return "the configuration file " + cfg +
               " cannot be read or is not a valid COMTRADE configuration (a line is missing, "
               "empty or inconsistent)";
    case 4:
        return "the configuration file " + cfg + " was read but the data file " + dat +
               " was not";
    case 5:
        return "the data file " + dat + " of the configuration " + cfg + " does not exist";
    case 6:
        try {
            return describeDataFailure(recording);
        } catch (const std::exception&) {
            return "the data file " + dat + " cannot be read with the configuration " + cfg;
        }
    default:
        return "loading " + validUtf8(path) + " failed with the unknown result code " +
               std::to_string(code);
    }
}

std::string validUtf8(const std::string& bytes)
{
    static const char replacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t length = 0;
        unsigned lowest = 0;
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            lowest = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            lowest = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            lowest = 0x10000;
        }
        bool ok = length != 0 && i + length <= n;
        unsigned codePoint = ok ? (c & (0x7Fu >> length)) : 0;
        for (std::size_t k = 1; ok && k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                codePoint = (codePoint << 6) | (p[i + k] & 0x3Fu);
        }
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        if (ok && (codePoint < lowest || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
                   codePoint > 0x10FFFF))
            ok = false;
        if (ok) {
            out.append(bytes, i, length);
            i += length;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

std::string displayText(const std::string& bytes)
{
    return validUtf8(toUtf8::detectAndConvert(bytes));
}

std::size_t utf8Length(const std::string& text)
{
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

std::string valueUnit(const KivComtradeLib::AnalogChannelConfig& channel)
{
    if (channel.multiplier != 1.0 && channel.unit.size() >= 2)
        return channel.unit.substr(1);
    return channel.unit;
}

const char* dataFileTypeName(KivComtradeLib::Enums::DataFileType type)
{
    switch (type) {
    case KivComtradeLib::Enums::Binary:
        return "BINARY";
    case KivComtradeLib::Enums::Binary32:
        return "BINARY32";
    case KivComtradeLib::Enums::Float32:
        return "FLOAT32";
    case KivComtradeLib::Enums::Ascii:
    default:
        return "ASCII";
    }
}

std::string formatNumber(double value, int digits)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    std::string text = buffer;
    if (text == "-0")
        text = "0";
    return text;
}

} // namespace KivTools
