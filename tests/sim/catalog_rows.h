// The console's catalog as the simulator's tests see it: the object names
// the console asks for, row by row, and what a plausible device answers.
// Written out here on purpose, apart from the simulator's own table, so that
// a slip in either shows up as a failing test.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sim/device_model.h"

// Rows 0 to 2 are MIB-II sysDescr, sysContact and sysName; rows 3 to 42
// are 1.3.6.1.4.1.47.2.G.N.0.
constexpr int kFirstRow = 0;
constexpr int kLastRow = 42;

std::vector<uint32_t> catalog_name(int row);

// INTEGER, or OCTET STRING for the texts (rows 0 to 10).
uint8_t catalog_type(int row);

// Inclusive bounds of a plausible INTEGER value of `row` for a device of
// `family` with its radio on and the other switches off.
struct Plausible {
    int64_t low;
    int64_t high;
};
Plausible plausible_range(int row, DeviceFamily family);

// One run of consecutive rows, as the console requests them.
struct CatalogRun {
    std::string name;
    int first;
    int count;
};
const std::vector<CatalogRun>& catalog_runs();

// "1.3.6.1.4.1.47.2.1.2.0"
std::string dotted(const std::vector<uint32_t>& name);

// Readable test parameters in test names and failure messages.
inline void PrintTo(DeviceFamily family, std::ostream* out) {
    *out << "family " << static_cast<int>(family);
}
inline void PrintTo(const CatalogRun& run, std::ostream* out) {
    *out << run.name;
}
