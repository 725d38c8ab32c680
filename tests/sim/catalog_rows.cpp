#include "catalog_rows.h"

#include <limits>

namespace {

// G.N of rows 3 to 42.
constexpr uint32_t kGroupItem[][2] = {
    {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {1, 8}, {2, 1}, {2, 2},
    {2, 3}, {2, 4}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}, {4, 1}, {4, 2}, {4, 3},
    {4, 4}, {4, 5}, {4, 6}, {4, 7}, {4, 8}, {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5},
    {5, 6}, {6, 1}, {6, 2}, {6, 3}, {6, 4}, {6, 5}, {6, 6}, {6, 7}, {6, 8}, {6, 9},
};
constexpr uint32_t kSystemItem[] = {1, 4, 5};

constexpr int64_t kCounterMax = std::numeric_limits<int32_t>::max();

// Supply rails within 5 % of nominal, well inside the console's alarm limits.
Plausible near_nominal(int64_t nominal_mv) {
    return {nominal_mv * 95 / 100, nominal_mv * 105 / 100};
}

}  // namespace

std::vector<uint32_t> catalog_name(int row) {
    if (row < 3) {
        return {1, 3, 6, 1, 2, 1, 1, kSystemItem[row], 0};
    }
    return {1, 3, 6, 1, 4, 1, 47, 2, kGroupItem[row - 3][0], kGroupItem[row - 3][1], 0};
}

uint8_t catalog_type(int row) {
    return row <= 10 ? kTagOctetString : kTagInteger;
}

Plausible plausible_range(int row, DeviceFamily family) {
    const bool wide = family == DeviceFamily::k1000;
    switch (row) {
        case 11:
            return {0, 100};
        case 12:
        case 13:
        case 14:
            return {3000, 5000};  // 30 to 50 degrees
        case 15:
        case 16:
            return {1000, 3000};  // mV
        case 17:
            return {500, 2500};  // mV
        case 18:
            return {0, 400};  // up to 40 dB
        case 19:
            return {0, 100};  // percent
        case 20:
            return near_nominal(24000);
        case 21:
            return near_nominal(12000);
        case 22:
            return near_nominal(9000);
        case 23:
            return near_nominal(12000);  // the -12 V rail's magnitude
        case 24:
            return near_nominal(5000);
        case 25:
            return near_nominal(3300);
        case 26:
            return near_nominal(5000);
        case 27:
            return {1000, 50000};  // 0.1 to 5 A, in tenths of a mA
        case 28:
            return {1, 1};  // radio on
        case 29:
        case 30:
        case 31:
        case 32:
        case 33:
            return {0, 0};
        case 34:
        case 35:
            return {1, 200000};  // packets per second
        case 36:
            return wide ? Plausible{0, kCounterMax} : Plausible{-10000, 10000};
        case 37:
            return {0, kCounterMax};
        case 38:
            return wide ? Plausible{1, 1} : Plausible{50, 500};  // locked, good / MSE
        case 39:
        case 40:
            return {static_cast<int64_t>(family), static_cast<int64_t>(family)};
        case 41:
        case 42:
            return {0, kCounterMax};
        default:
            return {std::numeric_limits<int32_t>::min(), kCounterMax};
    }
}

const std::vector<CatalogRun>& catalog_runs() {
    static const std::vector<CatalogRun> runs = {
        {"System", 0, 3},
        {"Identification", 3, 8},
        {"Temperatures", 12, 3},
        {"ReceiverGroup", 15, 5},
        {"SupplyRails", 20, 8},
        {"ControlStates", 28, 6},
        {"TrafficAndStatus", 34, 9},
    };
    return runs;
}

std::string dotted(const std::vector<uint32_t>& name) {
    std::string text;
    for (uint32_t id : name) {
        text += (text.empty() ? "" : ".") + std::to_string(id);
    }
    return text;
}
