// tarvik-mib-export: writes TARVIK-RADIO-MIB and its snmp_exporter
// generator.yml, made from the console's catalog, into a folder, or checks
// that a folder holds them.
#include "fleet/export_folder.h"
#include "fleet/mib_export.h"

namespace {

constexpr char kProgram[] = "tarvik-mib-export";
constexpr char kUsage[] =
    "usage: tarvik-mib-export DIR\n"
    "       tarvik-mib-export --check DIR\n"
    "       tarvik-mib-export --help\n"
    "\n"
    "Writes the SMIv2 module TARVIK-RADIO-MIB.txt and generator.yml, the input\n"
    "of snmp_exporter's generator, into DIR, made from the console's own catalog.\n"
    "With --check, writes nothing and fails when a file in DIR differs from them.\n";

}  // namespace

int main(int argc, char** argv) {
    return run_export(kProgram, kUsage, argc, argv, mib_files);
}
