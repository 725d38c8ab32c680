// A file's path from its name as the console's layers carry it, UTF-8: on
// Windows its UTF-16 form, since a narrow name is taken in the ANSI code
// page, which may not hold it (a name that is no UTF-8 is taken as it
// stands); elsewhere the name's own bytes.
#pragma once

#include <filesystem>
#include <string>

#ifdef _WIN32
#include "process/wide_text.h"
#endif

inline std::filesystem::path file_path(const std::string& name) {
#ifdef _WIN32
    const std::wstring wide = utf8_to_wide(name);
    if (!wide.empty()) {
        return std::filesystem::path(wide);
    }
#endif
    return std::filesystem::path(name);
}
