#pragma once
// The decision between UTF-8 and the Cyrillic code pages from the detector's
// votes, for one text (toUtf8) and for a whole file's texts (TextEncoding).

namespace KivComtradeLib {

enum class CodePageChoice { Unchanged, Cp866, Cp1251 };

// 866 wins over UTF-8 on more votes, and over 1251 on a tie; 1251 wins over
// UTF-8 on more votes; otherwise the text is left as it is (UTF-8).
inline CodePageChoice chooseCodePage(long long count866, long long count1251, long long countUtf8)
{
    if (count866 > countUtf8)
        return count866 >= count1251 ? CodePageChoice::Cp866 : CodePageChoice::Cp1251;
    return countUtf8 < count1251 ? CodePageChoice::Cp1251 : CodePageChoice::Unchanged;
}

} // namespace KivComtradeLib
