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

const ParameterCatalog kParameterCatalog = {{
    system_row(1),     // 0  sysDescr
    system_row(4),     // 1  sysContact
    system_row(5),     // 2  sysName
    device_row(1, 1),  // 3  identification items 1 to 8
    device_row(1, 2),
    device_row(1, 3),
    device_row(1, 4),
    device_row(1, 5),
    device_row(1, 6),
    device_row(1, 7),
    device_row(1, 8),  // 10
    device_row(2, 1),  // 11 never requested
    device_row(2, 2),  // 12 temperatures
    device_row(2, 3),
    device_row(2, 4),
    device_row(3, 1),  // 15 receiver, transmitter, AGC, attenuation, humidity
    device_row(3, 2),
    device_row(3, 3),
    device_row(3, 4),
    device_row(3, 5),
    device_row(4, 1),  // 20 supply rails
    device_row(4, 2),
    device_row(4, 3),
    device_row(4, 4),
    device_row(4, 5),
    device_row(4, 6),
    device_row(4, 7),
    device_row(4, 8),  // 27 total current
    device_row(5, 1),  // 28 control switches
    device_row(5, 2),
    device_row(5, 3),
    device_row(5, 4),
    device_row(5, 5),
    device_row(5, 6),
    device_row(6, 1),  // 34 traffic and status
    device_row(6, 2),
    device_row(6, 3),
    device_row(6, 4),
    device_row(6, 5),
    device_row(6, 6),
    device_row(6, 7),
    device_row(6, 8),
    device_row(6, 9),                         // 42
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 11},  // 43 terminator
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
