// The journal's lines: the kinds' names, times with their offsets, an event
// written as one JSON object and a strict reader of one back. The files
// are journal_file.cpp's.
#include "logbook/journal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string_view>

#include "charts/chart_plan.h"
#include "device/text_format.h"
#include "logbook/log_export.h"
#include "process/local_time.h"

namespace {

constexpr std::array<std::string_view, kJournalKindCount> kKindNames = {
    "start",
    "stop",
    "address_changed",
    "no_answer",
    "answered",
    "lamp_latched",
    "rail_in_range",
    "reset",
    "set",
    "key_sent",
    "identification_changed",
    "family_changed",
    "counter_went_back",
    "log_not_written",
    "settings_not_saved",
    "link_unavailable",
    "link_available",
};

// The members every line has; the rest are the kind's fields.
enum class Fixed { kTime, kAddress, kSerial, kKind, kText, kNone };
constexpr std::array<std::string_view, 5> kFixedNames = {"time", "address", "serial", "kind",
                                                         "text"};

Fixed fixed_member(std::string_view name) {
    for (std::size_t i = 0; i < kFixedNames.size(); ++i) {
        if (name == kFixedNames[i]) {
            return static_cast<Fixed>(i);
        }
    }
    return Fixed::kNone;
}

void append_digits(std::string& out, long long n, int width) {
    char text[24];
    int used = 0;
    do {
        text[used++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0 || used < width);
    while (used > 0) {
        out += text[--used];
    }
}

// The times a line can hold: years 0001 to 9999.
constexpr long long kEarliestMs = -62135596800000LL;
constexpr long long kLatestMs = 253402300799999LL;
// Offsets from UTC are within a day.
constexpr int kMaxOffset = 86399;

// ---- Reading JSON -------------------------------------------------------

constexpr int kMaxDepth = 64;

// A strict reader of one JSON object on one line (RFC 8259); `error` tells
// the first fault and its column.
class JsonLine {
public:
    explicit JsonLine(const std::string& line)
        : p_(line.data()), begin_(p_), end_(p_ + line.size()) {}

    const std::string& error() const { return error_; }
    bool at_end() {
        skip_space();
        return p_ == end_;
    }
    bool take(char c) {
        skip_space();
        if (p_ < end_ && *p_ == c) {
            ++p_;
            return true;
        }
        return false;
    }
    char peek() {
        skip_space();
        return p_ < end_ ? *p_ : '\0';
    }

    bool fail(const char* what) {
        if (error_.empty()) {
            error_ =
                std::string("not JSON: ") + what + " at column " + std::to_string(p_ - begin_ + 1);
        }
        return false;
    }

    // A string's value, its escapes resolved; the reader stands after it.
    bool string(std::string* out) {
        if (!take('"')) {
            return fail("a string expected");
        }
        out->clear();
        while (true) {
            const char* start = p_;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\' &&
                   static_cast<unsigned char>(*p_) >= 0x20 &&
                   static_cast<unsigned char>(*p_) < 0x80) {
                ++p_;
            }
            out->append(start, p_);
            if (p_ == end_) {
                return fail("the string does not end");
            }
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20) {
                return fail("a control character in a string");
            }
            if (c >= 0x80) {
                const std::size_t n = utf8_octets(static_cast<std::size_t>(end_ - p_));
                if (n == 0) {
                    return fail("an octet that is no UTF-8");
                }
                out->append(p_, n);
                p_ += n;
                continue;
            }
            if (!escape(out)) {
                return false;
            }
        }
    }

    // A value other than a string, as its JSON text.
    bool bare(std::string* out, int depth = 0) {
        skip_space();
        const char* start = p_;
        if (!skip_value(depth)) {
            return false;
        }
        out->assign(start, p_);
        return true;
    }

private:
    void skip_space() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) {
            ++p_;
        }
    }

    // The octets of the well-formed UTF-8 sequence at the reader, 0 for none.
    std::size_t utf8_octets(std::size_t left) const {
        const auto* u = reinterpret_cast<const unsigned char*>(p_);
        const unsigned char c = u[0];
        std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (n == 0 || n > left || c < 0xC2 || c > 0xF4) {
            return 0;
        }
        for (std::size_t i = 1; i < n; ++i) {
            if ((u[i] & 0xC0) != 0x80) {
                return 0;
            }
        }
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        if ((c == 0xE0 && u[1] < 0xA0) || (c == 0xED && u[1] > 0x9F) ||
            (c == 0xF0 && u[1] < 0x90) || (c == 0xF4 && u[1] > 0x8F)) {
            return 0;
        }
        return n;
    }

    bool hex4(unsigned* value) {
        if (end_ - p_ < 4) {
            return fail("a short \\u escape");
        }
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *p_++;
            v <<= 4;
            if (c >= '0' && c <= '9') {
                v |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                v |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                v |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return fail("a bad \\u escape");
            }
        }
        *value = v;
        return true;
    }

    // The escape at the reader (at its backslash).
    bool escape(std::string* out) {
        ++p_;
        if (p_ == end_) {
            return fail("the string does not end");
        }
        const char c = *p_++;
        switch (c) {
            case '"':
            case '\\':
            case '/':
                *out += c;
                return true;
            case 'b':
                *out += '\b';
                return true;
            case 'f':
                *out += '\f';
                return true;
            case 'n':
                *out += '\n';
                return true;
            case 'r':
                *out += '\r';
                return true;
            case 't':
                *out += '\t';
                return true;
            case 'u':
                break;
            default:
                return fail("an unknown escape");
        }
        unsigned code = 0;
        if (!hex4(&code)) {
            return false;
        }
        if (code >= 0xDC00 && code <= 0xDFFF) {
            return fail("a lone low surrogate");
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low = 0;
            if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') {
                return fail("a lone high surrogate");
            }
            p_ += 2;
            if (!hex4(&low)) {
                return false;
            }
            if (low < 0xDC00 || low > 0xDFFF) {
                return fail("a lone high surrogate");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xC0 | code >> 6);
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out += static_cast<char>(0xE0 | code >> 12);
            *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | code >> 18);
            *out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        }
        return true;
    }

    bool digits() {
        const char* start = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
            ++p_;
        }
        return p_ > start;
    }

    bool number() {
        if (p_ < end_ && *p_ == '-') {
            ++p_;
        }
        if (p_ < end_ && *p_ == '0') {
            ++p_;
        } else if (!digits()) {
            return fail("a bad number");
        }
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            if (!digits()) {
                return fail("a bad number");
            }
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) {
                ++p_;
            }
            if (!digits()) {
                return fail("a bad number");
            }
        }
        return true;
    }

    bool word(const char* w) {
        const std::size_t n = std::strlen(w);
        if (static_cast<std::size_t>(end_ - p_) < n || std::memcmp(p_, w, n) != 0) {
            return fail("an unknown value");
        }
        p_ += n;
        return true;
    }

    bool skip_value(int depth) {
        skip_space();
        if (p_ == end_) {
            return fail("a value expected");
        }
        std::string scratch;
        switch (*p_) {
            case '"':
                return string(&scratch);
            case 't':
                return word("true");
            case 'f':
                return word("false");
            case 'n':
                return word("null");
            case '{':
            case '[':
                break;
            default:
                return number();
        }
        if (depth >= kMaxDepth) {
            return fail("nesting too deep");
        }
        const char close = *p_ == '{' ? '}' : ']';
        const bool object = close == '}';
        ++p_;
        if (take(close)) {
            return true;
        }
        do {
            if (object && (!string(&scratch) || (!take(':') && fail("':' expected")))) {
                return false;
            }
            if (!skip_value(depth + 1)) {
                return false;
            }
        } while (take(','));
        return take(close) || fail(object ? "',' or '}' expected" : "',' or ']' expected");
    }

    const char* p_;
    const char* begin_;
    const char* end_;
    std::string error_;
};

bool two_digits(const char* p, int* value) {
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9') {
        return false;
    }
    *value = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

// "YYYY-MM-DDTHH:MM:SS[.fff]+hh:mm[:ss]" (or "Z", or a space for the "T")
// as seconds since the epoch and the offset from UTC in seconds.
bool parse_time(const std::string& text, double* time, int* offset) {
    const char* p = text.c_str();
    const char* end = p + text.size();
    int year_hi = 0, year_lo = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() < 20 || !two_digits(p, &year_hi) || !two_digits(p + 2, &year_lo) ||
        p[4] != '-' || !two_digits(p + 5, &month) || p[7] != '-' || !two_digits(p + 8, &day) ||
        (p[10] != 'T' && p[10] != ' ') || !two_digits(p + 11, &hour) || p[13] != ':' ||
        !two_digits(p + 14, &minute) || p[16] != ':' || !two_digits(p + 17, &second)) {
        return false;
    }
    const int year = year_hi * 100 + year_lo;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
        (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    p += 19;
    double fraction = 0;
    if (*p == '.') {
        ++p;
        double place = 0.1;
        const char* start = p;
        while (p < end && *p >= '0' && *p <= '9') {
            fraction += (*p - '0') * place;
            place /= 10;
            ++p;
        }
        if (p == start) {
            return false;
        }
    }
    int off = 0;
    if (p < end && *p == 'Z') {
        ++p;
    } else if (p < end && (*p == '+' || *p == '-')) {
        const int sign = *p == '-' ? -1 : 1;
        int oh = 0, om = 0, os = 0;
        if (end - p < 6 || !two_digits(p + 1, &oh) || p[3] != ':' || !two_digits(p + 4, &om)) {
            return false;
        }
        p += 6;
        if (end - p >= 3 && *p == ':') {
            if (!two_digits(p + 1, &os)) {
                return false;
            }
            p += 3;
        }
        if (om > 59 || os > 59) {
            return false;
        }
        off = sign * (oh * 3600 + om * 60 + os);
        if (off > kMaxOffset || off < -kMaxOffset) {
            return false;
        }
    } else {
        return false;
    }
    if (p != end) {
        return false;
    }
    const long long local =
        days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
        hour * 3600 + minute * 60 + second;
    *time = static_cast<double>(local - off) + fraction;
    *offset = off;
    return true;
}

// Whether `text` is one whole JSON value other than a string.
bool bare_json(const std::string& text) {
    JsonLine reader(text);
    std::string scratch;
    return reader.peek() != '"' && reader.bare(&scratch) && reader.at_end();
}

}  // namespace

const char* journal_kind_name(JournalKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < kKindNames.size() ? kKindNames[i].data() : "";
}

std::optional<JournalKind> journal_kind_from_name(const std::string& name) {
    const std::string_view wanted = name;
    for (std::size_t i = 0; i < kKindNames.size(); ++i) {
        if (wanted == kKindNames[i]) {
            return static_cast<JournalKind>(i);
        }
    }
    return std::nullopt;
}

std::string JournalEvent::field(const std::string& name) const {
    for (const JournalField& f : fields) {
        if (f.name == name) {
            return f.value;
        }
    }
    return std::string();
}

int local_utc_offset(double time) {
    return std::isfinite(time) ? static_cast<int>(charts::local_utc_offset(time)) : 0;
}

std::string journal_time(const JournalEvent& event) {
    const int offset = std::max(-kMaxOffset, std::min(kMaxOffset, event.utc_offset_s));
    const double ms = std::isfinite(event.time) ? std::round(event.time * 1000) : 0;
    long long local_ms =
        static_cast<long long>(std::max(static_cast<double>(kEarliestMs),
                                        std::min(static_cast<double>(kLatestMs), ms))) +
        offset * 1000LL;
    local_ms = std::max(kEarliestMs, std::min(kLatestMs, local_ms));
    const long long seconds = local_ms >= 0 ? local_ms / 1000 : -((-local_ms + 999) / 1000);
    const long long days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const long long in_day = seconds - days * 86400;
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civil_from_days(days, &year, &month, &day);
    std::string out;
    out.reserve(32);
    append_digits(out, year, 4);
    out += '-';
    append_digits(out, month, 2);
    out += '-';
    append_digits(out, day, 2);
    out += 'T';
    append_digits(out, in_day / 3600, 2);
    out += ':';
    append_digits(out, in_day / 60 % 60, 2);
    out += ':';
    append_digits(out, in_day % 60, 2);
    out += '.';
    append_digits(out, local_ms - seconds * 1000, 3);
    out += offset < 0 ? '-' : '+';
    const int magnitude = offset < 0 ? -offset : offset;
    append_digits(out, magnitude / 3600, 2);
    out += ':';
    append_digits(out, magnitude / 60 % 60, 2);
    if (magnitude % 60 != 0) {
        out += ':';
        append_digits(out, magnitude % 60, 2);
    }
    return out;
}

namespace {

// ",\"name\":value" for each of the kind's members.
void append_fields(std::string& out, const JournalEvent& event) {
    for (const JournalField& f : event.fields) {
        // A detail named like one of the fixed members would make the line
        // no event: it is left out.
        if (fixed_member(f.name) != Fixed::kNone) {
            continue;
        }
        out += ',';
        append_json_text(out, f.name);
        out += ':';
        if (f.number && bare_json(f.value)) {
            out += f.value;
        } else {
            append_json_text(out, f.value);
        }
    }
}

}  // namespace

std::string journal_line(const JournalEvent& event) {
    std::string out;
    out.reserve(160 + event.text.size());
    out += "{\"time\":\"";
    out += journal_time(event);
    out += "\",\"address\":";
    append_json_text(out, event.address);
    out += ",\"serial\":";
    append_json_text(out, event.serial);
    out += ",\"kind\":\"";
    out += journal_kind_name(event.kind);
    out += "\",\"text\":";
    append_json_text(out, event.text);
    append_fields(out, event);
    out += '}';
    return out;
}

std::string journal_details(const JournalEvent& event) {
    std::string out;
    append_fields(out, event);
    if (out.empty()) {
        return "{}";
    }
    out[0] = '{';
    out += '}';
    return out;
}

std::optional<JournalEvent> parse_journal_line(const std::string& line, std::string* error) {
    auto refuse = [&](const std::string& why) -> std::optional<JournalEvent> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    JsonLine reader(line);
    JournalEvent event;
    std::array<bool, kFixedNames.size()> seen{};
    std::string name;
    std::string time_text;
    std::string kind_text;
    if (reader.at_end()) {
        return refuse("an empty line");
    }
    if (!reader.take('{')) {
        reader.fail("'{' expected");
        return refuse(reader.error());
    }
    bool ok = true;
    if (!reader.take('}')) {
        do {
            if (!reader.string(&name) || (!reader.take(':') && reader.fail("':' expected"))) {
                ok = false;
                break;
            }
            const Fixed fixed = fixed_member(name);
            if (fixed == Fixed::kNone) {
                JournalField f;
                f.name = name;
                f.number = reader.peek() != '"';
                ok = f.number ? reader.bare(&f.value) : reader.string(&f.value);
                if (!ok) {
                    break;
                }
                event.fields.push_back(std::move(f));
                continue;
            }
            const auto index = static_cast<std::size_t>(fixed);
            if (seen[index]) {
                return refuse(std::string("\"") + name + "\" given twice");
            }
            seen[index] = true;
            if (reader.peek() != '"') {
                std::string scratch;
                if (!reader.bare(&scratch)) {
                    ok = false;
                    break;
                }
                return refuse(std::string("\"") + name + "\" is not a string");
            }
            std::string* target = fixed == Fixed::kTime      ? &time_text
                                  : fixed == Fixed::kAddress ? &event.address
                                  : fixed == Fixed::kSerial  ? &event.serial
                                  : fixed == Fixed::kKind    ? &kind_text
                                                             : &event.text;
            if (!reader.string(target)) {
                ok = false;
                break;
            }
        } while (reader.take(','));
        if (ok && !reader.take('}')) {
            ok = reader.fail("',' or '}' expected");
        }
    }
    if (ok && !reader.at_end()) {
        ok = reader.fail("text after the object");
    }
    if (!ok) {
        return refuse(reader.error());
    }
    if (!seen[static_cast<std::size_t>(Fixed::kTime)]) {
        return refuse("no \"time\"");
    }
    if (!seen[static_cast<std::size_t>(Fixed::kKind)]) {
        return refuse("no \"kind\"");
    }
    if (!parse_time(time_text, &event.time, &event.utc_offset_s)) {
        return refuse("a bad time \"" + time_text.substr(0, 40) + "\"");
    }
    const std::optional<JournalKind> kind = journal_kind_from_name(kind_text);
    if (!kind) {
        return refuse("an unknown kind \"" + kind_text.substr(0, 40) + "\"");
    }
    event.kind = *kind;
    return event;
}
