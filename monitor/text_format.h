// printf-style formatting for the panes and the log, with two differences
// that keep the output the same on every desktop:
// - the exponent of an e or E conversion has at least three digits
//   (1.234500e+004), as the console has always written it;
// - the decimal point is always ".", whatever locale the process runs in.
#pragma once

#include <cstddef>
#include <string>

#if defined(__GNUC__)
#define TARVIK_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define TARVIK_PRINTF_FORMAT
#endif

std::string format_text(const char* pattern, ...) TARVIK_PRINTF_FORMAT;

// The longest start of `text`, at most `limit` octets, that does not end
// inside a UTF-8 character: a cut there would leave a lone lead octet that
// the device and the terminal show as garbage. Octets that form no UTF-8
// character are cut anywhere.
size_t utf8_prefix_length(const std::string& text, size_t limit);
