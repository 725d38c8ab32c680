// tarvik-mib-export: writes TARVIK-RADIO-MIB and its snmp_exporter
// generator.yml, made from the console's catalog, into a folder, or checks
// that a folder holds them.
#include <cstdio>
#include <cstring>

#include "fleet/export_folder.h"
#include "fleet/mib_export.h"

namespace {

constexpr char kProgram[] = "tarvik-mib-export";
constexpr char kUsage[] =
    "usage: tarvik-mib-export DIR\n"
    "       tarvik-mib-export --check DIR\n"
    "\n"
    "Writes the SMIv2 module TARVIK-RADIO-MIB.txt and generator.yml, the input\n"
    "of snmp_exporter's generator, into DIR, made from the console's own catalog.\n"
    "With --check, writes nothing and fails when a file in DIR differs from them.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") != 0) {
        return write_export_files(kProgram, argv[1], mib_files());
    }
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
        return check_export_files(kProgram, argv[2], mib_files());
    }
    std::fputs(kUsage, argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
}
