#include "device/text_format.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <locale.h>
#endif

namespace {

// Makes the calling thread format numbers as the "C" locale does while it
// lives, so a user locale with a decimal comma cannot leak into the output.
class CNumericScope {
public:
#ifdef _WIN32
    CNumericScope() : previous_(_configthreadlocale(_ENABLE_PER_THREAD_LOCALE)) {
        saved_ = std::setlocale(LC_NUMERIC, nullptr);
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CNumericScope() {
        std::setlocale(LC_NUMERIC, saved_.c_str());
        _configthreadlocale(previous_);
    }

private:
    int previous_;
    std::string saved_;
#else
    CNumericScope() : previous_(uselocale(c_locale())) {}
    ~CNumericScope() {
        uselocale(previous_);
    }

private:
    static locale_t c_locale() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        return c;
    }
    locale_t previous_;
#endif
};

// Pads the exponent of an e/E conversion's output to three digits.
void widen_exponent(std::string& piece) {
    const size_t e = piece.find_last_of("eE");
    if (e == std::string::npos || e + 1 >= piece.size() ||
        (piece[e + 1] != '+' && piece[e + 1] != '-')) {
        return;
    }
    const size_t digits_at = e + 2;
    size_t digits = 0;
    while (digits_at + digits < piece.size() && piece[digits_at + digits] >= '0' &&
           piece[digits_at + digits] <= '9') {
        ++digits;
    }
    if (digits > 0 && digits < 3) {
        piece.insert(digits_at, 3 - digits, '0');
    }
}

template <typename T>
std::string format_one(const std::string& conversion, T value) {
    char small[128];
    const int n = std::snprintf(small, sizeof small, conversion.c_str(), value);
    if (n < 0) {
        return std::string();
    }
    if (static_cast<size_t>(n) < sizeof small) {
        return std::string(small, static_cast<size_t>(n));
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), conversion.c_str(), value);
    big.resize(static_cast<size_t>(n));
    return big;
}

// The panes' plain conversions (%d, %u, %s, %.Nf) are written here rather
// than through snprintf, which costs several times as much and is most of a
// poll's own work; both give the same text.
constexpr int kMaxFastPrecision = 17;

template <typename T>
void append_integer(std::string& out, T value) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
}

// Appends `value` with `precision` decimals as "%.Nf" writes it in the "C"
// locale. Returns false, having appended nothing, where this cannot (not a
// finite number, a longer precision, or a library without it).
bool append_fixed(std::string& out, double value, int precision) {
#if defined(__cpp_lib_to_chars)
    if (!std::isfinite(value) || precision > kMaxFastPrecision) {
        return false;
    }
    char text[400];  // the largest double has 309 digits before the point
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    if (written.ec != std::errc()) {
        return false;
    }
    out.append(text, written.ptr);
    return true;
#else
    (void)out;
    (void)value;
    (void)precision;
    return false;
#endif
}

}  // namespace

std::string format_text(const char* pattern, ...) {
    CNumericScope numeric;
    std::va_list args;
    va_start(args, pattern);
    std::string out;
    const char* p = pattern;
    while (*p != '\0') {
        if (*p != '%') {
            // The literal text up to the next conversion, in one piece.
            const char* next = std::strchr(p, '%');
            const size_t n = next != nullptr ? static_cast<size_t>(next - p) : std::strlen(p);
            out.append(p, n);
            p += n;
            continue;
        }
        // One conversion: flags, width, precision, length, conversion.
        const char* start = p++;
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
            ++p;
        }
        while (*p >= '0' && *p <= '9') {
            ++p;
        }
        // No flags and no width: the plain forms the fast paths write.
        const bool plain = p == start + 1;
        int precision = -1;
        if (*p == '.') {
            ++p;
            precision = 0;
            while (*p >= '0' && *p <= '9') {
                precision = std::min(precision * 10 + (*p - '0'), kMaxFastPrecision + 1);
                ++p;
            }
        }
        int longs = 0;
        while (*p == 'l') {
            ++longs;
            ++p;
        }
        const char conversion = *p;
        if (conversion == '\0') {
            out.append(start, p);
            break;
        }
        ++p;
        const std::string conversion_text(start, p);
        switch (conversion) {
            case 'd':
            case 'i':
                if (plain && precision < 0) {
                    longs == 0   ? append_integer(out, va_arg(args, int))
                    : longs == 1 ? append_integer(out, va_arg(args, long))
                                 : append_integer(out, va_arg(args, long long));
                    break;
                }
                out += longs == 0   ? format_one(conversion_text, va_arg(args, int))
                       : longs == 1 ? format_one(conversion_text, va_arg(args, long))
                                    : format_one(conversion_text, va_arg(args, long long));
                break;
            case 'u':
                if (plain && precision < 0) {
                    longs == 0   ? append_integer(out, va_arg(args, unsigned))
                    : longs == 1 ? append_integer(out, va_arg(args, unsigned long))
                                 : append_integer(out, va_arg(args, unsigned long long));
                    break;
                }
                out += longs == 0   ? format_one(conversion_text, va_arg(args, unsigned))
                       : longs == 1 ? format_one(conversion_text, va_arg(args, unsigned long))
                                    : format_one(conversion_text, va_arg(args, unsigned long long));
                break;
            case 'x':
            case 'X':
            case 'o':
                out += longs == 0   ? format_one(conversion_text, va_arg(args, unsigned))
                       : longs == 1 ? format_one(conversion_text, va_arg(args, unsigned long))
                                    : format_one(conversion_text, va_arg(args, unsigned long long));
                break;
            case 'e':
            case 'E': {
                std::string piece = format_one(conversion_text, va_arg(args, double));
                widen_exponent(piece);
                out += piece;
                break;
            }
            case 'f':
            case 'F': {
                const double value = va_arg(args, double);
                if (!(plain && append_fixed(out, value, precision < 0 ? 6 : precision))) {
                    out += format_one(conversion_text, value);
                }
                break;
            }
            case 'g':
            case 'G':
                out += format_one(conversion_text, va_arg(args, double));
                break;
            case 'c':
                out += format_one(conversion_text, va_arg(args, int));
                break;
            case 's': {
                const char* text = va_arg(args, const char*);
                if (plain && precision < 0 && text != nullptr) {
                    out += text;
                } else {
                    out += format_one(conversion_text, text);
                }
                break;
            }
            case '%':
                out += '%';
                break;
            default:
                // Not a conversion this console uses: kept as written.
                out += conversion_text;
                break;
        }
    }
    va_end(args);
    return out;
}

size_t utf8_prefix_length(const std::string& text, size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    const auto octet = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    // Back over the continuation octets (10xxxxxx) the cut would split off;
    // a character has at most three.
    size_t cut = limit;
    while (cut > 0 && limit - cut < 3 && (octet(cut) & 0xC0) == 0x80) {
        --cut;
    }
    return (octet(cut) & 0xC0) == 0xC0 ? cut : limit;
}

size_t utf8_sequence_length(const std::string& text, size_t at) {
    const auto octet = [&](size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = octet(at);
    size_t length = 0;
    unsigned low = 0x80;  // range of the second octet
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (octet(at + 1) < low || octet(at + 1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (octet(at + i) < 0x80 || octet(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

namespace {

void append_escaped(std::string& out, unsigned char octet) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[octet >> 4];
    out += kHex[octet & 0x0F];
}

}  // namespace

std::string escape_device_text(const std::string& text, TextEscapes escapes) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto octet = static_cast<unsigned char>(text[i]);
        const bool terminal = escapes == TextEscapes::kTerminal;
        if (octet < 0x80 || !terminal) {
            if ((octet < 0x20 && octet != '\t') || (octet == 0x7F && terminal)) {
                append_escaped(out, octet);
            } else {
                out += text[i];
            }
            ++i;
            continue;
        }
        const size_t length = utf8_sequence_length(text, i);
        const bool c1_control =
            length == 2 && octet == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0 || c1_control) {
            // One octet at a time: what follows a broken lead may still be text.
            const size_t escaped = c1_control ? 2 : 1;
            for (size_t k = 0; k < escaped; ++k) {
                append_escaped(out, static_cast<unsigned char>(text[i + k]));
            }
            i += escaped;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
}

bool local_time(std::time_t t, std::tm* out) {
#ifdef _WIN32
    return localtime_s(out, &t) == 0;
#else
    return localtime_r(&t, out) != nullptr;
#endif
}
