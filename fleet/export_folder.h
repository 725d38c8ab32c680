// Writing generated files into a folder, or checking that a folder holds
// them unchanged: the two modes of the programs that write deploy/.
#pragma once

#include <string>
#include <vector>

#include "fleet/prometheus_export.h"

// Writes every file into `dir`. Returns 0, or 1 after naming on stderr a
// file that could not be written.
int write_export_files(const char* program, const std::string& dir,
                       const std::vector<ExportFile>& files);

// Returns 0 when every file in `dir` holds exactly its text; otherwise names
// each one that differs or is missing on stderr, says how to remake them,
// and returns 1.
int check_export_files(const char* program, const std::string& dir,
                       const std::vector<ExportFile>& files);
