#include "recording/CombinedFile.h"

#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/StringHelper.h>

#include <cctype>
#include <exception>
#include <limits>

namespace KivComtradeLib {
namespace CombinedFile {

namespace {

bool allDigits(const std::string& word)
{
    if (word.empty())
        return false;
    for (const char ch : word)
        if (!std::isdigit(static_cast<unsigned char>(ch)))
            return false;
    return true;
}

} // namespace

bool parseHeader(const std::string& line, Header& header)
{
    // Headers are short; a long line is data.
    if (line.size() > 200)
        return false;
    std::size_t begin = 0, end = line.size();
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) // a byte-order mark before the first header
        begin = 3;
    while (begin < end && StringHelper::isBlank(line[begin]))
        ++begin;
    while (end > begin && StringHelper::isBlank(line[end - 1]))
        --end;
    if (end - begin < 2 || line[begin] != '-' || line[begin + 1] != '-')
        return false;
    while (begin < end && line[begin] == '-')
        ++begin;
    while (end > begin && line[end - 1] == '-')
        --end;

    // Words, with blanks and colons between them.
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = begin; i <= end; ++i) {
        if (i == end || StringHelper::isBlank(line[i]) || line[i] == ':') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += line[i];
        }
    }
    std::size_t at = 0;
    if (words.size() >= 2 && StringHelper::toLower(words[0]) == "file" && StringHelper::toLower(words[1]) == "type")
        at = 2;
    else if (!words.empty() && StringHelper::toLower(words[0]) == "filetype")
        at = 1;
    else
        return false;
    if (at >= words.size())
        return false;

    Header result;
    result.kindWord = words[at];
    const std::string kind = StringHelper::toLower(words[at]);
    result.kind = kind == "cfg" ? Kind::Cfg : kind == "dat" ? Kind::Dat : kind == "hdr" ? Kind::Hdr
                : kind == "inf" ? Kind::Inf : Kind::Other;
    for (std::size_t i = at + 1; i < words.size() && result.kind == Kind::Dat; ++i) {
        if (allDigits(words[i])) {
            result.hasCount = true;
            try {
                result.count = std::stoull(words[i]);
            } catch (const std::exception&) {
                result.count = std::numeric_limits<unsigned long long>::max();
            }
        } else if (result.typeWord.empty()) {
            result.typeWord = words[i];
            result.hasType = Converters::dataFileTypeOf(words[i], result.type);
        }
    }
    header = result;
    return true;
}

std::vector<Section> scan(std::istream& stream, unsigned long long fileLength)
{
    std::vector<Section> sections;
    stream.clear();
    stream.seekg(0, std::ios_base::beg);
    unsigned long long position = 0; // of the line about to be read
    unsigned long long lineNumber = 1;
    std::string line;
    // Closes the open section at `where`, unless its header gave its length.
    const auto close = [&sections](unsigned long long where) {
        if (!sections.empty() && !(sections.back().header.kind == Kind::Dat && sections.back().header.hasCount))
            sections.back().length = where - sections.back().offset;
    };
    while (position < fileLength && std::getline(stream, line)) {
        const unsigned long long next = position + line.size() + (stream.eof() ? 0 : 1);
        Header header;
        if (parseHeader(line, header)) {
            close(position);
            Section section;
            section.header = header;
            section.line = lineNumber;
            section.offset = next;
            if (header.kind == Kind::Dat && header.hasCount) {
                // The data is binary: skip it, its bytes may hold anything.
                section.length = header.count;
                sections.push_back(section);
                if (header.count >= fileLength - next)
                    break;
                position = next + header.count;
                stream.clear();
                stream.seekg(static_cast<std::streamoff>(position), std::ios_base::beg);
                // Line numbers after binary data no longer mean anything.
                lineNumber = 0;
                continue;
            }
            sections.push_back(section);
        }
        position = next;
        if (lineNumber != 0)
            ++lineNumber;
    }
    close(fileLength);
    return sections;
}

std::string normalisedText(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    bool blank = true;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        out += bytes[i];
        if (!StringHelper::isBlank(bytes[i]))
            blank = false;
    }
    return blank ? std::string() : out;
}

std::string text(std::istream& stream, const Section& section)
{
    std::string bytes(static_cast<std::size_t>(section.length), '\0');
    stream.clear();
    stream.seekg(static_cast<std::streamoff>(section.offset), std::ios_base::beg);
    stream.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    return normalisedText(bytes);
}

} // namespace CombinedFile
} // namespace KivComtradeLib
