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

// The catalog rows by name; each value is the row's catalog index. The names
// follow the readings' fields, so that whatever shows, logs or exports a
// reading names its row the same way. G.N is the device object.
enum class Param : int {
    kSysDescr = 0,
    kSysContact = 1,
    kSysName = 2,
    // 1.1 to 1.8: identification items 1 to 8. Item 2 names the family; item
    // 8 is the key that Send KEY writes.
    kIdItem1 = 3,
    kIdItem2 = 4,
    kIdItem3 = 5,
    kIdItem4 = 6,
    kIdItem5 = 7,
    kIdItem6 = 8,
    kIdItem7 = 9,
    kIdItem8 = 10,
    kUnrequested = 11,  // 2.1
    // 2.2 to 2.4.
    kTemperature1 = 12,
    kTemperature2 = 13,
    kTemperature3 = 14,
    // 3.1 to 3.5.
    kReceiverVoltage = 15,
    kTransmitterVoltage = 16,
    kAgcVoltage = 17,
    kAttenuation = 18,
    kHumidity = 19,
    // 4.1 to 4.8: the supply rails and the total current.
    kSupply24V = 20,
    kSupply12V = 21,
    kSupply9V = 22,
    kSupplyMinus12V = 23,
    kSupply5V = 24,
    kSupply3V3 = 25,
    kSupply5VStandby = 26,
    kTotalCurrent = 27,
    // 5.1 to 5.6: the control switches; 1 is the radio, 3 the heater.
    kSwitch1 = 28,
    kSwitch2 = 29,
    kSwitch3 = 30,
    kSwitch4 = 31,
    kSwitch5 = 32,
    kSwitch6 = 33,
    // 6.1 to 6.9: traffic and status. Family 350 sends the frequency offset
    // as the FEC error count and the MSE as the modem status.
    kPhyToRadioRate = 34,
    kRadioToPhyRate = 35,
    kFecErrorCount = 36,
    kFecFailCount = 37,
    kModemStatus = 38,
    kDownLinkMbps = 39,
    kUpLinkMbps = 40,
    kDropQ1Count = 41,
    kDropTxCount = 42,
    kTerminator = 43,
};

constexpr int catalog_index(Param row) {
    return static_cast<int>(row);
}
static_assert(catalog_index(Param::kTerminator) == kCatalogRows - 1, "every row has a name");

// Runs of consecutive rows that the console requests together.
struct CatalogRun {
    int first_index;
    int count;
};
constexpr CatalogRun catalog_run(Param first, Param last) {
    return {catalog_index(first), catalog_index(last) - catalog_index(first) + 1};
}
constexpr CatalogRun kIdentificationRun = catalog_run(Param::kIdItem1, Param::kIdItem8);
constexpr CatalogRun kTemperatureRun = catalog_run(Param::kTemperature1, Param::kTemperature3);
constexpr CatalogRun kReceiverRun = catalog_run(Param::kReceiverVoltage, Param::kHumidity);
constexpr CatalogRun kSupplyRun = catalog_run(Param::kSupply24V, Param::kTotalCurrent);
constexpr CatalogRun kControlRun = catalog_run(Param::kSwitch1, Param::kSwitch6);
constexpr CatalogRun kTrafficRun = catalog_run(Param::kPhyToRadioRate, Param::kDropTxCount);
constexpr int kKeyIndex = catalog_index(Param::kIdItem8);
// The runs one poll requests, in its order; Start reads the identification
// run before its first poll.
constexpr CatalogRun kPollRuns[] = {kTemperatureRun, kReceiverRun, kSupplyRun, kControlRun,
                                    kTrafficRun};

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
