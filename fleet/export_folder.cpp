// Writes or checks generated files.
#include "fleet/export_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <sstream>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool read_file(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

void close_file(int fd) {
#ifdef _WIN32
    ::_close(fd);
#else
    ::close(fd);
#endif
}

// Puts `from` in the place of `to`, a symlink at `to` replaced itself.
// Returns the empty text, or why it failed.
std::string rename_over(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        return "cannot replace it (error " + std::to_string(GetLastError()) + ")";
    }
#else
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        return std::strerror(errno);
    }
#endif
    return std::string();
}

// Writes `text` to a file made new beside `target` (named in `*made` once
// it exists) and flushed to the disk. O_EXCL never opens what is there
// already, a planted symlink included; a name taken is passed over. Returns
// the empty text, or why it failed.
std::string write_new_file(const std::string& target, const std::string& text, std::string* made) {
    int fd = -1;
    std::string name;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        name = target + ".new" + std::to_string(attempt);
#ifdef _WIN32
        fd =
            ::_open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
#endif
        if (fd < 0 && errno != EEXIST) {
            return std::strerror(errno);
        }
    }
    if (fd < 0) {
        return std::strerror(errno);
    }
    *made = name;
    std::size_t done = 0;
    while (done < text.size()) {
#ifdef _WIN32
        const int count =
            ::_write(fd, text.data() + done,
                     static_cast<unsigned>(std::min<std::size_t>(text.size() - done, 1 << 20)));
#else
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
#endif
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            const std::string error = count < 0 ? std::strerror(errno) : "nothing written";
            close_file(fd);
            return error;
        }
        done += static_cast<std::size_t>(count);
    }
#ifdef _WIN32
    const bool flushed = ::_commit(fd) == 0;
#else
    // A full disk may only show when the blocks are given out.
    const bool flushed = ::fsync(fd) == 0;
#endif
    const std::string error = flushed ? std::string() : std::strerror(errno);
    close_file(fd);
    return error;
}

// What the command line asks for.
enum class Command { kWrite, kCheck, kHelp, kWrong };

Command parse(int argc, char** argv, std::string* dir, std::string* error) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        return Command::kHelp;
    }
    const bool check = argc > 1 && std::strcmp(argv[1], "--check") == 0;
    if (argc != (check ? 3 : 2)) {
        if (argc > 1) {
            *error = check ? "--check takes one folder" : "too many arguments";
        }
        return Command::kWrong;
    }
    *dir = argv[argc - 1];
    // An empty folder would write into the root, and an option unknown here
    // is no folder name.
    if (dir->empty()) {
        *error = "the folder name is empty";
        return Command::kWrong;
    }
    if ((*dir)[0] == '-') {
        *error = "unknown option " + *dir;
        return Command::kWrong;
    }
    return check ? Command::kCheck : Command::kWrite;
}

}  // namespace

std::string replace_export_files(const std::string& dir, const std::vector<ExportFile>& files) {
    std::vector<std::string> written;  // the new files, not yet in place
    const auto give_up = [&](const std::string& why) {
        for (const std::string& path : written) {
            std::remove(path.c_str());
        }
        return why;
    };
    for (const ExportFile& file : files) {
        const std::string target = dir + "/" + file.name;
        std::string fresh;
        const std::string error = write_new_file(target, file.text, &fresh);
        if (!fresh.empty()) {
            written.push_back(fresh);
        }
        if (!error.empty()) {
            return give_up(target + ": " + error);
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string target = dir + "/" + files[i].name;
        const std::string error = rename_over(written[i], target);
        if (!error.empty()) {
            // Those before it are in place already; the rest are not.
            written.erase(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(i));
            return give_up(target + ": " + error);
        }
    }
    return std::string();
}

int write_export_files(const char* program, const std::string& dir,
                       const std::vector<ExportFile>& files) {
    const std::string error = replace_export_files(dir, files);
    if (!error.empty()) {
        std::fprintf(stderr, "%s: cannot write %s\n", program, error.c_str());
        return 1;
    }
    return 0;
}

int check_export_files(const char* program, const std::string& dir,
                       const std::vector<ExportFile>& files) {
    int stale = 0;
    for (const ExportFile& file : files) {
        const std::string path = dir + "/" + file.name;
        std::string text;
        if (!read_file(path, &text) || text != file.text) {
            std::fprintf(stderr, "%s: %s differs from the catalog's\n", program, path.c_str());
            ++stale;
        }
    }
    if (stale != 0) {
        std::fprintf(stderr, "%s: run `%s %s` and commit the result\n", program, program,
                     dir.c_str());
        return 1;
    }
    return 0;
}

int run_export(const char* program, const char* usage, int argc, char** argv,
               const std::function<std::vector<ExportFile>()>& make) {
    std::string dir;
    std::string error;
    try {
        switch (parse(argc, argv, &dir, &error)) {
            case Command::kWrite:
                return write_export_files(program, dir, make());
            case Command::kCheck:
                return check_export_files(program, dir, make());
            case Command::kHelp:
                std::fputs(usage, stdout);
                return 0;
            case Command::kWrong:
                break;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s\n\n", program, error.c_str());
    }
    std::fputs(usage, stderr);
    return 2;
}
