// Times as an operator types them on a command line.
#pragma once

#include <string>

// A local time "YYYY-MM-DD HH:MM[:SS]" (or with "T" for the space) as
// seconds since the epoch.
bool parse_local_time(const std::string& text, double* seconds);

// Days from 1970-01-01 to the civil date (proleptic Gregorian), for any
// year: local times counted without the C library's range.
long long days_from_civil(long long year, unsigned month, unsigned day);
// And back: the civil date of a day counted from 1970-01-01.
void civil_from_days(long long days, long long* year, unsigned* month, unsigned* day);
