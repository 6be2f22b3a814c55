#pragma once
// Number fields of configuration lines, converted as std::stoi reads them;
// a failure names the field, so that the reader can say which one of which
// line went wrong.

#include <KivComtradeLib/StringHelper.h>

#include <stdexcept>
#include <string>

namespace KivComtradeLib {

// Field `number` (1-based, for the message) called `name`.
inline int intField(const std::string& text, int number, const char* name)
{
    const std::string where = "field " + std::to_string(number) + " '" + name + "': '" + text + "' ";
    try {
        return StringHelper::toInt(text);
    } catch (const std::out_of_range&) {
        throw std::out_of_range(where + "is out of range");
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument(where + "is not a number");
    }
}

} // namespace KivComtradeLib
