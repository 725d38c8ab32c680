// The console's catalog written out as an SMIv2 MIB module, the way every
// SNMP tool (network management systems, MIB browsers, snmp_exporter's
// generator) reads a device: one OBJECT-TYPE per catalog row under the
// device's enterprise subtree, with its type, unit, access and the console's
// words for it, and a generator.yml that builds the snmp_exporter module from
// that MIB. Made from the monitor's tables, like the Prometheus files.
#pragma once

#include <vector>

#include "fleet/prometheus_export.h"

constexpr char kMibModuleName[] = "TARVIK-RADIO-MIB";

// TARVIK-RADIO-MIB.txt and generator.yml, in that order.
std::vector<ExportFile> mib_files();
