// tarvik-prometheus-export: writes the Prometheus files made from the
// console's catalog into a folder, or checks that a folder holds them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fleet/export_folder.h"
#include "fleet/prometheus_export.h"

namespace {

constexpr char kProgram[] = "tarvik-prometheus-export";
constexpr char kUsage[] =
    "usage: tarvik-prometheus-export [--runbook-base URL] DIR\n"
    "       tarvik-prometheus-export [--runbook-base URL] --check DIR\n"
    "       tarvik-prometheus-export --help\n"
    "\n"
    "Writes snmp.yml, the recording and alert rules, the Grafana dashboard and an\n"
    "example prometheus.yml into DIR, made from the console's own catalog. With\n"
    "--check, writes nothing and fails when a file in DIR differs from them.\n"
    "--runbook-base URL: the alerts' runbook links are URL followed by the alert's\n"
    "name in lower case (default /usr/share/doc/tarvik/docs/fleet.md#, the installed\n"
    "fleet page's sections).\n";

}  // namespace

int main(int argc, char** argv) {
    // --runbook-base URL is taken out here; the rest is the common command line.
    std::string runbook_base = kRunbookBase;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--runbook-base") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "%s: --runbook-base needs a URL\n\n%s", kProgram, kUsage);
                return 2;
            }
            runbook_base = argv[++i];
            continue;
        }
        rest.push_back(argv[i]);
    }
    return run_export(kProgram, kUsage, static_cast<int>(rest.size()), rest.data(),
                      [&] { return prometheus_files(runbook_base); });
}
