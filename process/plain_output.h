// The standard output and error streams written as the program writes them:
// on Windows they are otherwise in text mode, which puts a CR before every
// LF, so what the terminal console and the simulator print would differ
// from their POSIX output. A Windows console shows a bare LF as a line
// break all the same. Header-only, like the rest of process/.
#pragma once

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

inline void write_output_unchanged() {
#ifdef _WIN32
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}
