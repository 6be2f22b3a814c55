#include "config/DateTimeLine.h"

#include <KivComtradeLib/StringHelper.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace KivComtradeLib {

namespace {

// A field of 1 to `maxDigits` decimal digits and nothing else.
bool digitsField(const std::string& field, std::size_t maxDigits, int& value)
{
    if (field.empty() || field.size() > maxDigits)
        return false;
    value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

std::vector<std::string> splitAt(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool possibleDate(int year, int month, int day)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long daysFromCivil(long long year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "hh:mm:ss" with an optional ".fraction"; fills the time fields of `dt`.
// fractionDigits is kept even when the rest fails: the stamp unit depends on
// it alone.
bool parseTimeOfDay(const std::string& text, DateTime& dt)
{
    std::string whole = text;
    const std::size_t point = text.find('.');
    if (point != std::string::npos) {
        whole = text.substr(0, point);
        const std::string fraction = text.substr(point + 1);
        long long nanoseconds = 0;
        for (std::size_t i = 0; i < fraction.size(); ++i) {
            const char c = fraction[i];
            if (c < '0' || c > '9')
                return false;
            // Digits beyond nanoseconds are dropped.
            if (i < 9)
                nanoseconds = nanoseconds * 10 + (c - '0');
        }
        dt.fractionDigits = static_cast<int>(fraction.size());
        for (std::size_t i = fraction.size(); i < 9; ++i)
            nanoseconds *= 10;
        dt.nanosecond = nanoseconds;
    }
    const std::vector<std::string> parts = splitAt(whole, ':');
    return parts.size() == 3 && digitsField(parts[0], 2, dt.hour) && digitsField(parts[1], 2, dt.minute) &&
           digitsField(parts[2], 2, dt.second) && dt.hour <= 23 && dt.minute <= 59 && dt.second <= 60;
}

} // namespace

DateTime parseDateTimeLine(const std::string& text, int revYear, std::string& problem)
{
    problem.clear();
    DateTime dt;
    dt.text = text;
    // Only the text and the fraction's digit count survive a failure.
    const auto invalid = [&dt, &problem](const char* why) {
        DateTime failed;
        failed.text = dt.text;
        failed.fractionDigits = dt.fractionDigits;
        problem = why;
        return failed;
    };
    const std::string line = StringHelper::trim(text);
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) {
        return invalid("not a date and a time separated by a comma");
    }
    if (!parseTimeOfDay(StringHelper::trim(line.substr(comma + 1)), dt)) {
        return invalid("not a time of day (hh:mm:ss.ssssss)");
    }
    const std::vector<std::string> date = splitAt(StringHelper::trim(line.substr(0, comma)), '/');
    int first = 0, second = 0, year = 0;
    if (date.size() != 3 || !digitsField(date[0], 2, first) || !digitsField(date[1], 2, second) ||
        (date[2].size() != 2 && date[2].size() != 4) || !digitsField(date[2], 4, year)) {
        return invalid("not a date (dd/mm/yyyy, or mm/dd/yy in 1991 files)");
    }
    // Two-digit years are the 1991 form, which writes the month first.
    const bool twoDigitYear = date[2].size() == 2;
    if (twoDigitYear)
        year += year < 70 ? 2000 : 1900;
    const bool monthFirst = twoDigitYear || revYear == 1991;
    int month = monthFirst ? first : second;
    int day = monthFirst ? second : first;
    if (!possibleDate(year, month, day)) {
        if (!possibleDate(year, day, month)) {
            return invalid("impossible date");
        }
        std::swap(month, day);
        problem = monthFirst ? "impossible as month/day, read as day/month"
                             : "impossible as day/month, read as month/day";
    }
    dt.year = year;
    dt.month = month;
    dt.day = day;
    dt.valid = true;
    return dt;
}

double secondsBetween(const DateTime& from, const DateTime& to)
{
    const long long days = daysFromCivil(to.year, to.month, to.day) - daysFromCivil(from.year, from.month, from.day);
    const long long seconds = days * 86400 + (to.hour - from.hour) * 3600LL + (to.minute - from.minute) * 60LL +
                              (to.second - from.second);
    const long long nanoseconds = to.nanosecond - from.nanosecond;
    // One integer count of nanoseconds while it fits (about 290 years),
    // converted once: exact to the nanosecond for any real recording.
    if (std::llabs(seconds) < 9000000000LL)
        return static_cast<double>(seconds * 1000000000LL + nanoseconds) / 1e9;
    return static_cast<double>(seconds) + static_cast<double>(nanoseconds) / 1e9;
}

} // namespace KivComtradeLib
