// Writing generated files into a folder, or checking that a folder holds
// them unchanged: the two modes of the programs that write deploy/.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "fleet/prometheus_export.h"

// Writes every file into `dir`, all or none: each is written beside its
// target under a name of its own (made new, never opened through a
// symlink), and only once all are written are they renamed into place. A
// symlink planted under a file's name is replaced, never followed, and a
// write that fails (a full disk) leaves every old file as it was. Returns
// the empty text, or what failed and why ("dir/snmp.yml: No space left on
// device").
std::string replace_export_files(const std::string& dir, const std::vector<ExportFile>& files);

// replace_export_files; returns 0, or 1 after saying on stderr what failed.
int write_export_files(const char* program, const std::string& dir,
                       const std::vector<ExportFile>& files);

// Returns 0 when every file in `dir` holds exactly its text; otherwise names
// each one that differs or is missing on stderr, says how to remake them,
// and returns 1.
int check_export_files(const char* program, const std::string& dir,
                       const std::vector<ExportFile>& files);

// The whole program: `DIR` writes the files that `make` returns into DIR,
// `--check DIR` checks them, `--help` prints `usage` on stdout (status 0).
// Anything else, an empty DIR (that would be the root) or an option it does
// not know included, prints what is wrong and the usage on stderr (status
// 2). An error while making the files is printed (status 1).
int run_export(const char* program, const char* usage, int argc, char** argv,
               const std::function<std::vector<ExportFile>()>& make);
