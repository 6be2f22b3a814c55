#pragma once

#include <KivComtradeLib/Export.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// Byte-string helpers shared by the configuration parsers and the texts of the
// channel records. No character decoding: UTF-8 and code-page text alike.
class KIVCOMTRADE_API StringHelper {
public:
    // Fields between separators, untrimmed. Empty fields count; one trailing
    // separator adds no field ("a,b," gives two fields); "" gives none.
    static std::vector<std::string> split(const std::string& text, char separator);
    // Parts joined by the separator (which comes first in the arguments).
    static std::string join(char separator, const std::vector<std::string>& parts);
    // ASCII A-Z to a-z; every other byte unchanged.
    static std::string toLower(std::string text);
    // std::stoi(text): throws std::invalid_argument / std::out_of_range ("stoi").
    static int toInt(const std::string& text);
    // The blanks of every text rule of the library: space, tab, CR, LF, VT, FF.
    static bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    // Whether the text holds nothing but blanks (an empty text included).
    static bool isBlank(const std::string& text);
    // The text without the blanks around it.
    static std::string trim(const std::string& text);
};

} // namespace KivComtradeLib
