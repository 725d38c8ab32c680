// tarvik-prometheus-export: writes the Prometheus files made from the
// console's catalog into a folder, or checks that a folder holds them.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "fleet/prometheus_export.h"

namespace {

constexpr char kUsage[] =
    "usage: tarvik-prometheus-export DIR\n"
    "       tarvik-prometheus-export --check DIR\n"
    "       tarvik-prometheus-export --help\n"
    "\n"
    "Writes snmp.yml, the recording and alert rules, the Grafana dashboard and an\n"
    "example prometheus.yml into DIR, made from the console's own catalog. With\n"
    "--check, writes nothing and fails when a file in DIR differs from them.\n";

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

int write_all(const std::string& dir) {
    for (const ExportFile& file : prometheus_files()) {
        const std::string path = dir + "/" + file.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << file.text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "tarvik-prometheus-export: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

int check_all(const std::string& dir) {
    int stale = 0;
    for (const ExportFile& file : prometheus_files()) {
        const std::string path = dir + "/" + file.name;
        std::string text;
        if (!read_file(path, &text) || text != file.text) {
            std::fprintf(stderr, "tarvik-prometheus-export: %s differs from the catalog's\n",
                         path.c_str());
            ++stale;
        }
    }
    if (stale != 0) {
        std::fprintf(stderr,
                     "tarvik-prometheus-export: run `tarvik-prometheus-export %s` and commit "
                     "the result\n",
                     dir.c_str());
        return 1;
    }
    return 0;
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

int main(int argc, char** argv) {
    std::string dir;
    std::string error;
    try {
        switch (parse(argc, argv, &dir, &error)) {
            case Command::kWrite:
                return write_all(dir);
            case Command::kCheck:
                return check_all(dir);
            case Command::kHelp:
                std::fputs(kUsage, stdout);
                return 0;
            case Command::kWrong:
                break;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvik-prometheus-export: %s\n", e.what());
        return 1;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "tarvik-prometheus-export: %s\n\n", error.c_str());
    }
    std::fputs(kUsage, stderr);
    return 2;
}
