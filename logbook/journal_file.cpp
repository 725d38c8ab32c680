// The journal's files: where the journal is, its rotated files, appending
// to it and reading it back. Its lines are journal.cpp's.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "logbook/journal.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include "logbook/log_reader.h"
#include "process/file_path.h"
#ifdef _WIN32
#include "process/wide_text.h"
#endif

namespace {

// Lines are read in pieces of this size.
constexpr std::size_t kChunkSize = 64 * 1024;

std::string system_reason(int code) {
    return std::generic_category().message(code);
}

}  // namespace

std::string default_journal_path() {
#ifdef _WIN32
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    const std::string folder = local != nullptr ? wide_to_utf8(local) : std::string();
    if (folder.empty()) {
        return std::string();
    }
    return folder + "\\Tarvik\\journal.jsonl";
#else
    // The XDG rule: a relative XDG_DATA_HOME is ignored.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return std::string(data) + "/Tarvik/journal.jsonl";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return std::string();
    }
    return std::string(home) + "/.local/share/Tarvik/journal.jsonl";
#endif
}

std::string journal_rotated_path(const std::string& path, int n) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const std::string number = "." + std::to_string(n);
    // A leading dot (".journal") starts a name, not an extension.
    if (dot == std::string::npos || dot <= base) {
        return path + number;
    }
    return path.substr(0, dot) + number + path.substr(dot);
}

std::vector<std::string> journal_files(const std::string& path, int kept_files) {
    std::vector<std::string> files;
    std::error_code error;
    for (int n = kept_files; n >= 0; --n) {
        const std::string name = n == 0 ? path : journal_rotated_path(path, n);
        if (std::filesystem::exists(file_path(name), error)) {
            files.push_back(name);
        }
    }
    return files;
}

// ---- Writing ------------------------------------------------------------
//
// Every writer takes an exclusive lock on "<journal>.lock" (flock on POSIX,
// LockFileEx on Windows) for the whole of one append: look at the size,
// rotate when the line would take the file past `rotate_bytes`, open, write
// the line with one write in append mode, close. So two consoles never
// rotate at once (two renames of .1 to .2 in a row would drop a file), and a
// line never goes into a file that another writer is just renaming away
// from under it. The lock file is never removed: removing it would let a
// third writer lock a new one while the second still holds the old.
// Without a lock (its file cannot be made) the line is still appended, in
// append mode, but no rotation is tried.
//
// A line whose end never reached the file (a crash, a full disk) is not
// cut off again: the journal is never rewritten. The next append starts
// with a line feed instead, so the torn line stays one line of its own that
// the reader reports, and the new event is whole.

namespace {

#ifdef _WIN32

std::string windows_reason(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

class JournalLock {
public:
    explicit JournalLock(const std::string& path) {
        handle_ = CreateFileW(file_path(path + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            return;
        }
        OVERLAPPED at{};
        locked_ = LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
    }
    ~JournalLock() {
        if (locked_) {
            OVERLAPPED at{};
            UnlockFileEx(handle_, 0, 1, 0, &at);
        }
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;
    bool locked() const { return locked_; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool locked_ = false;
};

bool file_size(const std::string& path, std::uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file_path(path).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool rename_file(const std::string& from, const std::string& to) {
    return MoveFileExW(file_path(from).c_str(), file_path(to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
}

// Appends `line` (its line end included) with one WriteFile on a handle
// opened for appending only: Windows puts each write at the end.
bool append_line(const std::string& path, const std::string& line, std::string* error) {
    const HANDLE file = CreateFileW(file_path(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot open " + path + ": " + windows_reason(GetLastError());
        return false;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        *error = "cannot open " + path + ": not a regular file";
        return false;
    }
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        const long long last = size.QuadPart - 1;
        at.Offset = static_cast<DWORD>(last & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(last >> 32);
        char c = '\n';
        DWORD got = 0;
        if (ReadFile(file, &c, 1, &got, &at) && got == 1 && c != '\n') {
            bytes += '\n';
        }
    }
    bytes += line;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD code = GetLastError();
    CloseHandle(file);
    if (!ok || written != bytes.size()) {
        *error = "cannot write " + path + ": " + (ok ? "the disk is full" : windows_reason(code));
        return false;
    }
    return true;
}

#else

class JournalLock {
public:
    explicit JournalLock(const std::string& path) {
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd_ < 0) {
            return;
        }
        int result;
        do {
            result = ::flock(fd_, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        locked_ = result == 0;
    }
    ~JournalLock() {
        if (fd_ >= 0) {
            ::close(fd_);  // releases the lock
        }
    }
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;
    bool locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

bool file_size(const std::string& path, std::uint64_t* size) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool rename_file(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// Appends `line` (its line end included) with one write() in append mode.
bool append_line(const std::string& path, const std::string& line, std::string* error) {
    // Opened without blocking, so that a FIFO nobody reads fails at once.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + system_reason(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *error = "cannot open " + path + ": not a regular file";
        return false;
    }
    std::string bytes;
    char last = '\n';
    if (info.st_size > 0 && ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') {
        bytes += '\n';
    }
    bytes += line;
    ssize_t count;
    do {
        count = ::write(fd, bytes.data(), bytes.size());
    } while (count < 0 && errno == EINTR);
    const int code = errno;
    const bool closed = ::close(fd) == 0;
    if (count != static_cast<ssize_t>(bytes.size())) {
        *error = "cannot write " + path + ": " +
                 (count < 0 ? system_reason(code) : std::string("the disk is full"));
        return false;
    }
    if (!closed) {
        *error = "cannot write " + path + ": " + system_reason(errno);
        return false;
    }
    return true;
}

#endif

// Shifts the kept files up by one (the oldest goes) and renames the journal
// to its first rotated name. A rename that fails (a reader on Windows holds
// the file) leaves the journal as it is; it grows, and the next append
// tries again.
void rotate(const std::string& path, int kept_files) {
    for (int n = kept_files - 1; n >= 1; --n) {
        rename_file(journal_rotated_path(path, n), journal_rotated_path(path, n + 1));
    }
    rename_file(path, journal_rotated_path(path, 1));
}

}  // namespace

JournalWriter::JournalWriter(std::string path, std::uint64_t rotate_bytes, int kept_files)
    : path_(std::move(path)),
      rotate_bytes_(rotate_bytes),
      kept_files_(kept_files < 1 ? 1 : kept_files) {}

bool JournalWriter::append(const JournalEvent& event) {
    error_.clear();
    const std::string line = journal_line(event) + "\n";
    if (line.size() > kMaxJournalLine) {
        error_ =
            "cannot write " + path_ + ": an event of " + std::to_string(line.size()) + " octets";
        return false;
    }
    std::error_code made;
    const std::filesystem::path folder = file_path(path_).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, made);
    }
    const JournalLock lock(path_);
    std::uint64_t size = 0;
    if (lock.locked() && file_size(path_, &size) && size > 0 &&
        size + line.size() > rotate_bytes_) {
        rotate(path_, kept_files_);
    }
    return append_line(path_, line, &error_);
}

// ---- Reading ------------------------------------------------------------

std::uint64_t read_journal(std::istream& in, const std::string& name,
                           const JournalEventHandler& on_event,
                           const JournalProblemHandler& on_problem) {
    std::uint64_t events = 0;
    std::uint64_t number = 0;
    std::string error;
    auto problem = [&](const std::string& why) {
        if (on_problem) {
            on_problem(name + " line " + std::to_string(number) + ": " + why);
        }
    };
    auto finish_line = [&](const std::string& line) {
        if (std::optional<JournalEvent> event = parse_journal_line(line, &error)) {
            ++events;
            if (on_event) {
                on_event(*event);
            }
        } else {
            problem(error);
        }
    };
    std::vector<char> chunk(kChunkSize);
    // A line is gathered here across chunks; one that grows past the limit
    // is dropped at once and only its end is looked for.
    std::string pending;
    bool too_long = false;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const char* p = chunk.data();
        const char* end = p + in.gcount();
        while (p < end) {
            const void* found = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
            const auto size = static_cast<std::size_t>(stop - p);
            if (!too_long && pending.size() + size > kMaxJournalLine) {
                too_long = true;
                pending.clear();
                pending.shrink_to_fit();
            }
            if (!too_long) {
                pending.append(p, size);
            }
            if (found == nullptr) {
                break;
            }
            ++number;
            if (too_long) {
                problem("longer than " + std::to_string(kMaxJournalLine) + " octets");
            } else {
                finish_line(pending);
            }
            pending.clear();
            too_long = false;
            p = stop + 1;
        }
    }
    // A last line without its end is an event cut short, unless it is
    // whole all the same (a file edited by hand).
    if (too_long || !pending.empty()) {
        ++number;
        if (too_long) {
            problem("longer than " + std::to_string(kMaxJournalLine) + " octets");
        } else if (std::optional<JournalEvent> event = parse_journal_line(pending, &error)) {
            ++events;
            if (on_event) {
                on_event(*event);
            }
        } else {
            problem("torn (the last line, without its end): " + error);
        }
    }
    return events;
}

std::uint64_t read_journal_files(const std::vector<std::string>& files,
                                 const JournalEventHandler& on_event,
                                 const JournalProblemHandler& on_problem) {
    std::uint64_t events = 0;
    for (const std::string& name : files) {
        // Only a regular file is opened: a FIFO would wait for a writer.
        const LogLoad check = check_log_file(name);
        std::ifstream in;
        if (check.status == LogLoad::Status::kRead) {
            in.open(file_path(name), std::ios::binary);
        }
        if (!in.is_open()) {
            if (on_problem) {
                on_problem("cannot open " + name + ": " +
                           (check.error.empty() ? system_reason(errno) : check.error));
            }
            continue;
        }
        events += read_journal(in, name, on_event, on_problem);
    }
    return events;
}
