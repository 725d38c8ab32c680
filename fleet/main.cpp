// tarvik-prometheus-export: writes the Prometheus files made from the
// console's catalog into a folder, or checks that a folder holds them.
#include "fleet/export_folder.h"
#include "fleet/prometheus_export.h"

namespace {

constexpr char kProgram[] = "tarvik-prometheus-export";
constexpr char kUsage[] =
    "usage: tarvik-prometheus-export DIR\n"
    "       tarvik-prometheus-export --check DIR\n"
    "       tarvik-prometheus-export --help\n"
    "\n"
    "Writes snmp.yml, the recording and alert rules, the Grafana dashboard and an\n"
    "example prometheus.yml into DIR, made from the console's own catalog. With\n"
    "--check, writes nothing and fails when a file in DIR differs from them.\n";

}  // namespace

int main(int argc, char** argv) {
    return run_export(kProgram, kUsage, argc, argv, prometheus_files);
}
