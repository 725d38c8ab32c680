// The catalog table and its lookup.
#include "monitor/parameter_catalog.h"

namespace {

constexpr CatalogRow system_row(uint32_t n) {
    return {{1, 3, 6, 1, 2, 1, 1, n, 0}, 9};
}

// 1.3.6.1.4.1.47.2.G.N.0
constexpr CatalogRow device_row(uint32_t group, uint32_t n) {
    return {{1, 3, 6, 1, 4, 1, 47, 2, group, n, 0}, 11};
}

}  // namespace

// Row by row in the order of `Param`.
const ParameterCatalog kParameterCatalog = {{
    system_row(1),                            // kSysDescr
    system_row(4),                            // kSysContact
    system_row(5),                            // kSysName
    device_row(1, 1),                         // kIdItem1
    device_row(1, 2),                         // kIdItem2
    device_row(1, 3),                         // kIdItem3
    device_row(1, 4),                         // kIdItem4
    device_row(1, 5),                         // kIdItem5
    device_row(1, 6),                         // kIdItem6
    device_row(1, 7),                         // kIdItem7
    device_row(1, 8),                         // kIdItem8
    device_row(2, 1),                         // kUnrequested
    device_row(2, 2),                         // kTemperature1
    device_row(2, 3),                         // kTemperature2
    device_row(2, 4),                         // kTemperature3
    device_row(3, 1),                         // kReceiverVoltage
    device_row(3, 2),                         // kTransmitterVoltage
    device_row(3, 3),                         // kAgcVoltage
    device_row(3, 4),                         // kAttenuation
    device_row(3, 5),                         // kHumidity
    device_row(4, 1),                         // kSupply24V
    device_row(4, 2),                         // kSupply12V
    device_row(4, 3),                         // kSupply9V
    device_row(4, 4),                         // kSupplyMinus12V
    device_row(4, 5),                         // kSupply5V
    device_row(4, 6),                         // kSupply3V3
    device_row(4, 7),                         // kSupply5VStandby
    device_row(4, 8),                         // kTotalCurrent
    device_row(5, 1),                         // kSwitch1
    device_row(5, 2),                         // kSwitch2
    device_row(5, 3),                         // kSwitch3
    device_row(5, 4),                         // kSwitch4
    device_row(5, 5),                         // kSwitch5
    device_row(5, 6),                         // kSwitch6
    device_row(6, 1),                         // kPhyToRadioRate
    device_row(6, 2),                         // kRadioToPhyRate
    device_row(6, 3),                         // kFecErrorCount
    device_row(6, 4),                         // kFecFailCount
    device_row(6, 5),                         // kModemStatus
    device_row(6, 6),                         // kDownLinkMbps
    device_row(6, 7),                         // kUpLinkMbps
    device_row(6, 8),                         // kDropQ1Count
    device_row(6, 9),                         // kDropTxCount
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 11},  // kTerminator
}};

int compare_object_ids(const uint32_t* a, const uint32_t* b, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) {
            return a[i] > b[i] ? 1 : -1;
        }
    }
    return 0;
}

int find_catalog_index(const VarBinding& binding) {
    const int32_t count = binding.name.count;
    if (count > kCatalogIdCapacity || count <= 0 || binding.name.ids == nullptr) {
        return -1;
    }
    for (int index = 0; index < kCatalogRows; ++index) {
        const CatalogRow& row = kParameterCatalog.rows[index];
        if (row.length == count && compare_object_ids(row.ids, binding.name.ids, count) == 0) {
            return index;
        }
    }
    return -1;
}

int link_rate_mbps(int code) {
    static constexpr int kRates[] = {80, 150, 200, 250, 300, 350};
    if (code >= 0 && code < static_cast<int>(sizeof kRates / sizeof kRates[0])) {
        return kRates[code];
    }
    return code == 99 ? 1000 : 0;
}
