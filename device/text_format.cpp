#include "device/text_format.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

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

}  // namespace

std::string format_text(const char* pattern, ...) {
    const CNumericScope numeric;
    std::va_list args;
    va_start(args, pattern);
    std::va_list again;
    va_copy(again, args);
    char small[256];
    const int n = std::vsnprintf(small, sizeof small, pattern, args);
    va_end(args);
    std::string out;
    if (n > 0 && static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else if (n > 0) {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), pattern, again);
        out.assign(big.data(), static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}

std::string exponent_text(double value, int precision) {
    const CNumericScope numeric;
    char text[64];  // "-1.", at most 40 digits, "e-308"
    const int n =
        std::snprintf(text, sizeof text, "%.*e", std::min(std::max(precision, 0), 40), value);
    std::string piece(text, n > 0 ? std::min(static_cast<size_t>(n), sizeof text - 1) : 0);
    widen_exponent(piece);
    return piece;
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
