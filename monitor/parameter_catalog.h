// The parameter catalog: every object the console knows on the device, one
// row per parameter. A row's position, its catalog index, is that
// parameter's number throughout the monitor.
#pragma once

#include <cstdint>

#include "snmp/message.h"

constexpr int kCatalogRows = 44;
constexpr int kCatalogIdCapacity = 11;

struct CatalogRow {
    uint32_t ids[kCatalogIdCapacity];
    int32_t length;  // sub-identifiers in use
};

struct ParameterCatalog {
    CatalogRow rows[kCatalogRows];
};

// Rows 0 to 2: MIB-II system group objects (9 sub-identifiers), never
// requested. Rows 3 to 42: 1.3.6.1.4.1.47.2.G.N.0 (11). Row 43: eleven zeros,
// a terminator that is never requested and that decoding ignores. Every
// identifier ends in the instance 0, and that is its first zero.
extern const ParameterCatalog kParameterCatalog;

// Runs of consecutive rows that the console requests together.
struct CatalogRun {
    int first_index;
    int count;
};
constexpr CatalogRun kIdentificationRun{3, 8};
constexpr CatalogRun kTemperatureRun{12, 3};
constexpr CatalogRun kReceiverRun{15, 5};
constexpr CatalogRun kSupplyRun{20, 8};
constexpr CatalogRun kControlRun{28, 6};
constexpr CatalogRun kTrafficRun{34, 9};
constexpr int kKeyIndex = 10;  // identification item 8, written with the key

// Compares `count` sub-identifiers pairwise, unsigned. Returns 1 or -1 at the
// first pair that differs (1 when `a`'s is the greater), 0 when all are equal
// or `count` <= 0.
int compare_object_ids(const uint32_t* a, const uint32_t* b, int32_t count);

// The catalog index of the binding's name: the first row of the same length
// and the same sub-identifiers. -1 when no row matches, the name is longer
// than a row can hold, or it has no sub-identifiers.
int find_catalog_index(const VarBinding& binding);

// Rate in Mbps of a link-mode code: 0..5 give 80, 150, 200, 250, 300, 350;
// 99 gives 1000; any other code 0.
int link_rate_mbps(int code);
