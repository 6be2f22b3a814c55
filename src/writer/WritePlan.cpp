#include "writer/WritePlan.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace KivComtradeLib {
namespace WritePlanning {

bool inverseOfProduct(double k, double y, double& x)
{
    x = y / k;
    if (y == 0.0 || !std::isfinite(x)) {
        if (y == 0.0)
            x = 0.0;
        return k * x == y;
    }
    // y came from k * x for some x; the product rounds, so x lies within a
    // few units in the last place of y / k.
    double down = x, up = x;
    for (int i = 0; i < 8; ++i) {
        if (k * up == y) {
            x = up;
            return true;
        }
        if (k * down == y) {
            x = down;
            return true;
        }
        up = std::nextafter(up, HUGE_VAL);
        down = std::nextafter(down, -HUGE_VAL);
    }
    x = y / k;
    return false;
}

std::string number(double value)
{
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

std::string number(unsigned long long value)
{
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

namespace {

long long daysFromCivil(long long year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
}

void civilFromDays(long long days, long long& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

double secondsBetween(const DateTime& from, const DateTime& to)
{
    const auto ns = [](const DateTime& d) {
        return (daysFromCivil(d.year, d.month, d.day) * 86400LL + d.hour * 3600LL + d.minute * 60LL + d.second) *
                   1000000000LL + d.nanosecond;
    };
    return static_cast<double>(ns(to) - ns(from)) * 1e-9;
}

std::string dateTimeLine(const DateTime& dt, double shift, bool nanoseconds)
{
    constexpr long long kDay = 86400LL * 1000000000LL;
    long long days = daysFromCivil(dt.year, dt.month, dt.day);
    long long ns = (dt.hour * 3600LL + dt.minute * 60LL + dt.second) * 1000000000LL + dt.nanosecond;
    // Whole seconds and the rest apart, so that a long shift keeps its nanoseconds.
    const double whole = std::floor(shift);
    days += static_cast<long long>(whole) / 86400;
    ns += (static_cast<long long>(whole) % 86400) * 1000000000LL + std::llround((shift - whole) * 1e9);
    days += ns >= 0 ? ns / kDay : (ns - kDay + 1) / kDay;
    ns -= (ns >= 0 ? ns / kDay : (ns - kDay + 1) / kDay) * kDay;
    long long year;
    int month, day;
    civilFromDays(days, year, month, day);
    // Rounded, not cut, to the digits written.
    long long fraction = ns % 1000000000LL;
    long long seconds = ns / 1000000000LL;
    if (!nanoseconds) {
        fraction = (fraction + 500) / 1000;
        if (fraction == 1000000) {
            fraction = 0;
            ++seconds; // 86400 only one microsecond before midnight: written as 23:59:60
            if (seconds == 86400)
                seconds = 86399, fraction = 999999;
        }
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, nanoseconds ? "%02d/%02d/%04lld,%02lld:%02lld:%02lld.%09lld"
                                               : "%02d/%02d/%04lld,%02lld:%02lld:%02lld.%06lld",
                  day, month, year, seconds / 3600, seconds / 60 % 60, seconds % 60, fraction);
    return buf;
}

} // namespace WritePlanning
} // namespace KivComtradeLib
