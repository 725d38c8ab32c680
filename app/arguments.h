// The program's arguments as UTF-8, its name first: on Windows from the
// UTF-16 command line, since argv holds them in the ANSI code page, which
// may not hold a file's name; elsewhere argv as it stands.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> utf8_arguments(int argc, const char* const* argv);
