// Times as an operator types them on a command line.
#pragma once

#include <string>

// A local time "YYYY-MM-DD HH:MM[:SS]" (or with "T" for the space) as
// seconds since the epoch.
bool parse_local_time(const std::string& text, double* seconds);
