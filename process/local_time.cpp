#include "process/local_time.h"

#include <cstdio>
#include <ctime>

bool parse_local_time(const std::string& text, double* seconds) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char separator = 0;
    int used = 0;
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n:%2d%n", &year, &month, &day,
                              &separator, &hour, &minute, &used, &second, &used);
    if (n < 6 || static_cast<std::size_t>(used) != text.size() ||
        (separator != ' ' && separator != 'T') || year < 1970 || year > 2999 || month < 1 ||
        month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 || hour < 0 ||
        minute < 0 || second < 0) {
        return false;
    }
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    // mktime() moves a day past the month's end on: that is no such date.
    if (at == static_cast<std::time_t>(-1) || t.tm_mday != day) {
        return false;
    }
    *seconds = static_cast<double>(at);
    return true;
}

long long days_from_civil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civil_from_days(long long days, long long* year, unsigned* month, unsigned* day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<long long>(yoe) + era * 400 + (*month <= 2 ? 1 : 0);
}
