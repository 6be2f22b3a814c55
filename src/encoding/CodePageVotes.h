#pragma once
// The code-page decision on the detector's votes: the one rule that both a
// single text (toUtf8::DetectRusCodePages, toUtf8::detectAndConvert) and a
// whole configuration file (TextEncoding::detect) follow.

namespace KivComtradeLib {

enum class CyrillicChoice { Unchanged, Cp866, Cp1251 };

// 866 over 1251 when both beat UTF-8; UTF-8 (unchanged) over 1251 when they
// are equal; unchanged when all three are equal (pure ASCII).
inline CyrillicChoice decideByVotes(long long count866, long long count1251, long long countUtf8)
{
    if (count866 > countUtf8)
        return count866 >= count1251 ? CyrillicChoice::Cp866 : CyrillicChoice::Cp1251;
    return countUtf8 < count1251 ? CyrillicChoice::Cp1251 : CyrillicChoice::Unchanged;
}

} // namespace KivComtradeLib
