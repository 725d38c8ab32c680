// printf-style formatting for the panes and the log, with two differences
// that keep the output the same on every desktop:
// - the exponent of an e or E conversion has at least three digits
//   (1.234500e+004), as the console has always written it;
// - the decimal point is always ".", whatever locale the process runs in.
#pragma once

#include <string>

#if defined(__GNUC__)
#define TARVIK_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define TARVIK_PRINTF_FORMAT
#endif

std::string format_text(const char* pattern, ...) TARVIK_PRINTF_FORMAT;
