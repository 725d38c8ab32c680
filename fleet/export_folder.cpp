// Writes or checks generated files.
#include "fleet/export_folder.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <sstream>

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

int write_export_files(const char* program, const std::string& dir,
                       const std::vector<ExportFile>& files) {
    for (const ExportFile& file : files) {
        const std::string path = dir + "/" + file.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << file.text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "%s: cannot write %s\n", program, path.c_str());
            return 1;
        }
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
