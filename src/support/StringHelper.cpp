#include <KivComtradeLib/StringHelper.h>

namespace KivComtradeLib {

// Same fields as reading the text with std::getline(stream, item, separator)
// until it fails: empty fields count, and a separator at the very end closes
// the last field without opening another one.
std::vector<std::string> StringHelper::split(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    std::size_t begin = 0;
    const std::size_t size = text.size();
    while (begin < size) {
        std::size_t end = text.find(separator, begin);
        if (end == std::string::npos) {
            fields.emplace_back(text, begin, size - begin);
            break;
        }
        fields.emplace_back(text, begin, end - begin);
        begin = end + 1;
    }
    return fields;
}

std::string StringHelper::join(char separator, const std::vector<std::string>& parts)
{
    if (parts.empty())
        return std::string();
    std::size_t total = parts.size() - 1;
    for (const auto& part : parts)
        total += part.size();
    std::string result;
    result.reserve(total);
    result += parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        result += separator;
        result += parts[i];
    }
    return result;
}

std::string StringHelper::toLower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

int StringHelper::toInt(const std::string& text)
{
    return std::stoi(text);
}

bool StringHelper::isBlank(const std::string& text)
{
    for (const char c : text)
        if (!isBlank(c))
            return false;
    return true;
}

std::string StringHelper::trim(const std::string& text)
{
    std::size_t first = 0, last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

} // namespace KivComtradeLib
