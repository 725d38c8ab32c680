#include "logbook/measurement_log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "device/panes.h"
#include "device/row_schema.h"
#include "device/text_format.h"
#include "process/wide_text.h"

namespace {

// Every line feed is stored as CR LF, on every platform, identification
// items included.
std::string with_crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 64);
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

#ifdef _WIN32

// The window's texts are UTF-8: opened by its UTF-16 name, "Müller.log" is
// created under that name. A name that is no UTF-8 (the terminal console's
// command line, in the ANSI code page) is opened as it stands.
LogWrite append_bytes(const std::string& path, const std::string& bytes) {
    constexpr int kFlags = _O_APPEND | _O_BINARY | _O_CREAT | _O_WRONLY;
    const std::wstring name = utf8_to_wide(path);
    const int fd = name.empty() ? _open(path.c_str(), kFlags, _S_IREAD | _S_IWRITE)
                                : _wopen(name.c_str(), kFlags, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return LogWrite::kCannotOpen;
    }
    const __int64 before = _filelengthi64(fd);
    bool written = _write(fd, bytes.data(), static_cast<unsigned int>(bytes.size())) ==
                   static_cast<int>(bytes.size());
    if (!written && before >= 0) {
        _chsize_s(fd, before);
    }
    if (_close(fd) != 0) {
        written = false;
    }
    return written ? LogWrite::kWritten : LogWrite::kCannotWrite;
}

#else

LogWrite append_bytes(const std::string& path, const std::string& bytes) {
    // Opened without blocking so that a FIFO nobody reads fails at once
    // instead of waiting for a reader; the write itself then blocks as usual.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        return LogWrite::kCannotOpen;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        ::close(fd);
        return LogWrite::kCannotOpen;
    }
    struct stat info {};
    const bool known_length = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ssize_t count;
    do {
        count = ::write(fd, bytes.data(), bytes.size());
    } while (count < 0 && errno == EINTR);
    bool written = count == static_cast<ssize_t>(bytes.size());
    // Whatever part of the text did get in is cut off again, so the next
    // append starts on a line of its own.
    if (!written && known_length && ::ftruncate(fd, info.st_size) != 0) {
        // Nothing more can be done about it here.
    }
    if (::close(fd) != 0) {
        written = false;
    }
    return written ? LogWrite::kWritten : LogWrite::kCannotWrite;
}

#endif

LogWrite append_text(const std::string& path, const std::string& text) {
    if (path.empty()) {
        return LogWrite::kCannotOpen;
    }
    return append_bytes(path, with_crlf(text));
}

std::string timestamp(std::time_t now) {
    std::tm local{};
    const bool ok = local_time(now, &local);
    char text[128];
    if (!ok || std::strftime(text, sizeof text, "%d.%m.%y %H:%M:%S\t", &local) == 0) {
        return std::string();
    }
    return text;
}

}  // namespace

std::string log_header_text(const DeviceReadings& r) {
    // Each item stays on its own line: a line break in a device's text
    // would otherwise write lines of its own choosing into the log.
    std::string id[kIdTextCount];
    for (int i = 0; i < kIdTextCount; ++i) {
        id[i] = escape_device_text(r.id_text[i], TextEscapes::kControls);
    }
    std::string text =
        format_text("ID1=%s\nID2=%s\nID3=%s\nID4=%s\nID5=%s\nID6=%s\nID7=%s\nID8=%s\n\n\n",
                    id[0].c_str(), id[1].c_str(), id[2].c_str(), id[3].c_str(), id[4].c_str(),
                    id[5].c_str(), id[6].c_str(), id[7].c_str());
    text += kLogTimeHeading;
    const LogLayout layout = log_layout(r.family_rate_mbps);
    for (int i = 0; i < layout.count; ++i) {
        text += '\t';
        text += log_heading(layout.slots[i]);
    }
    return text + '\n';
}

std::string log_value_text(const ColumnSpec& column, const DeviceReadings& r) {
    // The table's conversions: %ld for int32 readings, %lu for uint32 ones,
    // a floating conversion for the rest and for scaled values.
    const char conversion = column.format[std::strlen(column.format) - 1];
    if (conversion == 'd') {
        return format_text(column.format, static_cast<long>(device_value(column, r)));
    }
    if (conversion == 'u') {
        return format_text(column.format, static_cast<unsigned long>(device_value(column, r)));
    }
    if (conversion == 'e') {
        // "%.6e" or "%.3e": the digits after the point, and three in the exponent.
        return exponent_text(logged_value(column, r), std::atoi(column.format + 2));
    }
    return format_text(column.format, logged_value(column, r));
}

std::string log_line_text(const DeviceReadings& r, bool poll_succeeded, std::time_t now) {
    std::string line = timestamp(now);
    if (!poll_succeeded) {
        return line + kNoConnection + '\n';
    }
    const LogLayout layout = log_layout(r.family_rate_mbps);
    for (int i = 0; i < layout.count; ++i) {
        line += log_value_text(column_spec(layout.slots[i].column), r);
        line += i + 1 < layout.count ? '\t' : '\n';
    }
    return line;
}

LogWrite write_log_header(const std::string& path, const DeviceReadings& r) {
    return append_text(path, log_header_text(r));
}

LogWrite write_log_line(const std::string& path, const DeviceReadings& r, bool poll_succeeded,
                        std::time_t now) {
    return append_text(path, log_line_text(r, poll_succeeded, now));
}
