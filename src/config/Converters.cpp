#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/StringHelper.h>

namespace KivComtradeLib {
namespace Converters {

Enums::DataFileType toDataFileType(std::string& keyword)
{
    // Relays write the keyword with blanks around it ("BINARY32 "); reading
    // such a binary file as text would be plainly wrong, so blanks are trimmed.
    const auto first = keyword.find_first_not_of(" \t");
    if (first == std::string::npos)
        return Enums::Ascii;
    const auto last = keyword.find_last_not_of(" \t");
    const std::string word = StringHelper::toLower(keyword.substr(first, last - first + 1));
    if (word == "binary")
        return Enums::Binary;
    if (word == "binary32")
        return Enums::Binary32;
    if (word == "float32")
        return Enums::Float32;
    return Enums::Ascii; // "ascii" and every unknown word
}

} // namespace Converters
} // namespace KivComtradeLib
