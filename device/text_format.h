// printf-style formatting for the panes and the log, the same on every
// desktop: the decimal point is always ".", whatever locale the process
// runs in, and numbers in exponent form have an exponent of at least three
// digits (1.234500e+004), as the console has always written them.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

#if defined(__GNUC__)
#define TARVIK_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define TARVIK_PRINTF_FORMAT
#endif

// snprintf in the "C" locale. Its e conversions have the library's exponent
// (two digits here): a number in exponent form goes through exponent_text.
std::string format_text(const char* pattern, ...) TARVIK_PRINTF_FORMAT;

// `value` as "%.<precision>e" writes it in the "C" locale, its exponent
// widened to three digits: 1.234500e+004, 1.200e-004, inf.
std::string exponent_text(double value, int precision);

// The longest start of `text`, at most `limit` octets, that does not end
// inside a UTF-8 character: a cut there would leave a lone lead octet that
// the device and the terminal show as garbage. Octets that form no UTF-8
// character are cut anywhere.
size_t utf8_prefix_length(const std::string& text, size_t limit);

// Octets in a well-formed UTF-8 sequence starting at `at` (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF); 0 for none, and
// for an ASCII octet.
size_t utf8_sequence_length(const std::string& text, size_t at);

// Which octets of device text `escape_device_text` shows as `\xHH`.
enum class TextEscapes {
    // The C0 controls except tab, so that a line break in a device's text
    // cannot start a line of its own; every other octet passes, and
    // single-byte text stays as the device sent it (the log).
    kControls,
    // Those, DEL, the C1 controls (UTF-8 C2 80 to C2 9F) and every octet
    // that is not part of a well-formed UTF-8 sequence (a raw 0x9B is CSI
    // to some terminals): printable ASCII and well-formed UTF-8 text pass
    // unchanged (the terminal).
    kTerminal,
};
std::string escape_device_text(const std::string& text, TextEscapes escapes);

// `t` as local time in `out`, on every platform; false when it cannot be
// converted.
bool local_time(std::time_t t, std::tm* out);
