// Writes or checks generated files.
#include "fleet/export_folder.h"

#include <cstdio>
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
