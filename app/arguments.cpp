#include "app/arguments.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "process/wide_text.h"
#endif

std::vector<std::string> utf8_arguments(int argc, const char* const* argv) {
    std::vector<std::string> result;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; i < count && wide != nullptr; ++i) {
        result.push_back(wide_to_utf8(wide[i]));
    }
    LocalFree(wide);
#else
    for (int i = 0; i < argc; ++i) {
        result.emplace_back(argv[i]);
    }
#endif
    return result;
}
