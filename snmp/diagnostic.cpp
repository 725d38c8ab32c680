// Diagnostic lines with the program's name before them.
#include "snmp/diagnostic.h"

#include <cstdarg>
#include <cstdio>

namespace {

const char* program_name = nullptr;

}  // namespace

void set_diagnostic_program(const char* name) {
    program_name = name;
}

void print_diagnostic(const char* format, ...) {
    // One buffer and one write, so that lines of two threads do not mix.
    char line[1024];
    int used = 0;
    if (program_name != nullptr && program_name[0] != '\0') {
        used = std::snprintf(line, sizeof line, "%s: ", program_name);
        if (used < 0 || static_cast<size_t>(used) >= sizeof line) {
            used = 0;
        }
    }
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used), format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}
