// The catalog table and its lookup.
#include "device/parameter_catalog.h"

#include <array>
#include <cstddef>

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

namespace {

// Slots of the name index: a power of two, more than twice the rows, so
// that probes stay short.
constexpr size_t kIndexSlots = 128;
static_assert(kIndexSlots >= 2 * kCatalogRows, "the index has room for every row");

size_t name_hash(const uint32_t* ids, int32_t count) {
    uint64_t h = static_cast<uint64_t>(count);
    for (int32_t i = 0; i < count; ++i) {
        h = (h ^ ids[i]) * 0x100000001B3ull;
    }
    return static_cast<size_t>(h ^ (h >> 32));
}

bool row_names(int index, const uint32_t* ids, int32_t count) {
    const CatalogRow& row = kParameterCatalog.rows[index];
    return row.length == count && compare_object_ids(row.ids, ids, count) == 0;
}

// The rows by a hash of their names (open addressing, -1 for an empty
// slot), built once: the poll looks up every binding of every answer, and
// comparing a name with every row was most of a poll's own work. A name that
// two rows share keeps the first.
const std::array<int, kIndexSlots>& rows_by_name() {
    static const std::array<int, kIndexSlots> slots = [] {
        std::array<int, kIndexSlots> index{};
        index.fill(-1);
        for (int row = 0; row < kCatalogRows; ++row) {
            const CatalogRow& r = kParameterCatalog.rows[row];
            size_t slot = name_hash(r.ids, r.length) % kIndexSlots;
            while (index[slot] >= 0 && !row_names(index[slot], r.ids, r.length)) {
                slot = (slot + 1) % kIndexSlots;
            }
            if (index[slot] < 0) {
                index[slot] = row;
            }
        }
        return index;
    }();
    return slots;
}

}  // namespace

int find_catalog_index(const VarBinding& binding) {
    const int32_t count = binding.name.count;
    if (count > kCatalogIdCapacity || count <= 0 || binding.name.ids == nullptr) {
        return -1;
    }
    const auto& slots = rows_by_name();
    for (size_t slot = name_hash(binding.name.ids, count) % kIndexSlots; slots[slot] >= 0;
         slot = (slot + 1) % kIndexSlots) {
        if (row_names(slots[slot], binding.name.ids, count)) {
            return slots[slot];
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
