#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/StringHelper.h>

namespace KivComtradeLib {
namespace Converters {

namespace {

// The one table of data-file keywords, in the order of Enums::DataFileType.
const char* const kKeywords[] = {"ASCII", "BINARY", "BINARY32", "FLOAT32"};

} // namespace

Enums::DataFileType toDataFileType(std::string& keyword)
{
    Enums::DataFileType type = Enums::Ascii; // "ascii" and every unknown word
    dataFileTypeOf(keyword, type);
    return type;
}

bool dataFileTypeOf(const std::string& keyword, Enums::DataFileType& type)
{
    // Relays write the keyword with blanks around it ("BINARY32 "); reading
    // such a binary file as text would be plainly wrong, so blanks are trimmed.
    const std::string word = StringHelper::toLower(StringHelper::trim(keyword));
    for (int t = Enums::Ascii; t <= Enums::Float32; ++t) {
        if (word == StringHelper::toLower(kKeywords[t])) {
            type = static_cast<Enums::DataFileType>(t);
            return true;
        }
    }
    return false;
}

const char* dataFileTypeKeyword(Enums::DataFileType type)
{
    const int t = static_cast<int>(type);
    return t >= Enums::Ascii && t <= Enums::Float32 ? kKeywords[t] : kKeywords[Enums::Ascii];
}

} // namespace Converters
} // namespace KivComtradeLib
