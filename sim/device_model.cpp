// The simulated device: object names, values and physics.
#include "sim/device_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr uint32_t kMib2System[] = {1, 3, 6, 1, 2, 1, 1};
constexpr uint32_t kEnterprise[] = {1, 3, 6, 1, 4, 1, 47, 2};
constexpr int32_t kMaxNameLength = 11;

constexpr double kPi = 3.14159265358979323846;

// Group and item (G.N) of every enterprise object, in enum order from
// kIdentification1; the MIB-II objects come before them.
struct GroupItem {
    uint32_t group;
    uint32_t item;
};
constexpr GroupItem kEnterpriseObjects[] = {
    {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {1, 8},          //
    {2, 1}, {2, 2}, {2, 3}, {2, 4},                                          //
    {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5},                                  //
    {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {4, 6}, {4, 7}, {4, 8},          //
    {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}, {5, 6},                          //
    {6, 1}, {6, 2}, {6, 3}, {6, 4}, {6, 5}, {6, 6}, {6, 7}, {6, 8}, {6, 9},  //
};
constexpr uint32_t kMib2Items[] = {1, 4, 5};  // sysDescr, sysContact, sysName
constexpr int kFirstEnterprise = static_cast<int>(DeviceObject::kIdentification1);
constexpr int32_t kMib2SystemLength = sizeof kMib2System / sizeof kMib2System[0];
constexpr int32_t kEnterpriseLength = sizeof kEnterprise / sizeof kEnterprise[0];
static_assert(kFirstEnterprise == 3, "the three MIB-II objects come first");
static_assert(kFirstEnterprise + sizeof kEnterpriseObjects / sizeof kEnterpriseObjects[0] ==
                  kDeviceObjectCount,
              "one name per object");

struct Name {
    uint32_t ids[kMaxNameLength];
    int32_t count;
};

Name name_of(DeviceObject object) {
    Name name{};
    const int index = static_cast<int>(object);
    if (index < kFirstEnterprise) {
        for (uint32_t id : kMib2System) {
            name.ids[name.count++] = id;
        }
        name.ids[name.count++] = kMib2Items[index];
    } else {
        for (uint32_t id : kEnterprise) {
            name.ids[name.count++] = id;
        }
        name.ids[name.count++] = kEnterpriseObjects[index - kFirstEnterprise].group;
        name.ids[name.count++] = kEnterpriseObjects[index - kFirstEnterprise].item;
    }
    name.ids[name.count++] = 0;
    return name;
}

// Lexicographic order of identifiers; a proper prefix comes first.
int compare_names(const uint32_t* a, int32_t a_count, const uint32_t* b, int32_t b_count) {
    const int32_t common = std::min(a_count, b_count);
    for (int32_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return a_count == b_count ? 0 : (a_count < b_count ? -1 : 1);
}

DeviceObject object_at(int index) {
    return static_cast<DeviceObject>(index);
}

// Every object's name, in object order, built once. Object order is the
// names' order, so the name after any other is found by binary search.
const Name* sorted_names() {
    struct Table {
        Name names[kDeviceObjectCount];
    };
    static const Table table = [] {
        Table t{};
        for (int i = 0; i < kDeviceObjectCount; ++i) {
            t.names[i] = name_of(object_at(i));
        }
        return t;
    }();
    return table.names;
}

double wave(double t, double period_seconds, double phase) {
    return std::sin(2.0 * kPi * t / period_seconds + phase);
}

// Noise in [-amplitude, amplitude] that depends only on the seed and the
// whole second, so equal times give equal values.
int32_t jitter(uint32_t seed, double t, int32_t amplitude) {
    if (amplitude <= 0) {
        return 0;
    }
    uint32_t h = seed * 0x9E3779B1u ^ static_cast<uint32_t>(std::floor(std::max(t, 0.0)));
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    const auto span = static_cast<uint32_t>(2 * amplitude + 1);
    return static_cast<int32_t>(h % span) - amplitude;
}

// base + swing * wave + noise, rounded.
int32_t drift(double base, double swing, double period, double phase, double t, uint32_t seed,
              int32_t noise) {
    return static_cast<int32_t>(std::lround(base + swing * wave(t, period, phase))) +
           jitter(seed, t, noise);
}

int32_t counter_value(double accumulated) {
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::floor(std::min(accumulated, kMax)));
}

// Growth per second of the counters while the radio is on.
constexpr double kFecErrorsPerSecond = 3.5;
constexpr double kFecFailuresPerSecond = 0.2;
// The share of the received blocks that fail during an error burst: more
// than the 30 % that makes a second severely errored.
constexpr double kBurstFailureShare = 0.4;
constexpr double kDropsPhyToRadioPerSecond = 0.5;
constexpr double kDropsRadioToPhyPerSecond = 0.3;
// The heater warms the housing with this time constant.
constexpr double kHeaterTimeConstantSeconds = 60.0;
// Hundredths of a degree the fully warmed heater adds to each sensor.
constexpr int32_t kHeaterGain[] = {300, 180, 600};
// Tenths of a mA drawn by the transmitter and by the heater.
constexpr int32_t kTransmitterCurrent = 6000;
constexpr int32_t kHeaterCurrent = 4000;

struct RailShape {
    const char* name;
    int32_t nominal_mv;
    int32_t swing_mv;
};
constexpr RailShape kRails[kSupplyRailCount] = {
    {"24v", 24000, 120}, {"12v", 12000, 60}, {"9v", 9000, 45},   {"-12v", 12000, 60},
    {"5v", 5000, 25},    {"3v3", 3300, 15},  {"5vsb", 5000, 20},
};

struct FamilyTexts {
    const char* model;
    const char* serial;
    const char* hardware;
    const char* transmit;
    const char* receive;
};
const FamilyTexts& texts_of(DeviceFamily family) {
    static const FamilyTexts k350{"RL-KTR-350", "SN 35-004127", "HW rev C", "TX 18.700 GHz",
                                  "RX 19.710 GHz"};
    static const FamilyTexts k1000{"RL-VXL-1000", "SN 10-000583", "HW rev B", "TX 80.500 GHz",
                                   "RX 70.500 GHz"};
    return family == DeviceFamily::k1000 ? k1000 : k350;
}

}  // namespace

DeviceValue DeviceValue::integer(int32_t number) {
    DeviceValue v;
    v.type = kTagInteger;
    v.number = number;
    return v;
}

DeviceValue DeviceValue::octets(std::string text) {
    DeviceValue v;
    v.type = kTagOctetString;
    v.text = std::move(text);
    return v;
}

bool find_device_object(const uint32_t* ids, int32_t count, DeviceObject* object) {
    if (count <= 0 || count > kMaxNameLength || ids == nullptr) {
        return false;
    }
    // The inverse of `name_of`: a prefix, the item (or group and item), the
    // instance 0; read off directly, since every request's every name is
    // looked up.
    const auto named = [&](const uint32_t* prefix, int32_t length, int32_t items) {
        return count == length + items + 1 && std::equal(prefix, prefix + length, ids) &&
               ids[count - 1] == 0;
    };
    if (named(kMib2System, kMib2SystemLength, 1)) {
        for (int i = 0; i < kFirstEnterprise; ++i) {
            if (kMib2Items[i] == ids[kMib2SystemLength]) {
                *object = object_at(i);
                return true;
            }
        }
    } else if (named(kEnterprise, kEnterpriseLength, 2)) {
        for (int i = kFirstEnterprise; i < kDeviceObjectCount; ++i) {
            const GroupItem& g = kEnterpriseObjects[i - kFirstEnterprise];
            if (g.group == ids[kEnterpriseLength] && g.item == ids[kEnterpriseLength + 1]) {
                *object = object_at(i);
                return true;
            }
        }
    }
    return false;
}

bool next_device_object(const uint32_t* ids, int32_t count, DeviceObject* object) {
    if (count < 0 || (count > 0 && ids == nullptr)) {
        return false;
    }
    const Name* names = sorted_names();
    const Name* end = names + kDeviceObjectCount;
    const Name* next = std::upper_bound(names, end, 0, [&](int, const Name& name) {
        return compare_names(ids, count, name.ids, name.count) < 0;
    });
    if (next == end) {
        return false;
    }
    *object = object_at(static_cast<int>(next - names));
    return true;
}

std::vector<uint32_t> device_object_name(DeviceObject object) {
    const Name name = name_of(object);
    return std::vector<uint32_t>(name.ids, name.ids + name.count);
}

uint8_t device_object_type(DeviceObject object) {
    const int index = static_cast<int>(object);
    return index <= static_cast<int>(DeviceObject::kIdentification8) ? kTagOctetString
                                                                     : kTagInteger;
}

const char* supply_rail_name(SupplyRail rail) {
    return kRails[static_cast<int>(rail)].name;
}

int32_t supply_rail_nominal_mv(SupplyRail rail) {
    return kRails[static_cast<int>(rail)].nominal_mv;
}

DeviceModel::DeviceModel(DeviceFamily family)
    : family_(family),
      // As if the device had been running for a while before.
      fec_errors_(1250.0),
      fec_failures_(12.0),
      drops_phy_to_radio_(40.0),
      drops_radio_to_phy_(25.0) {
    switches_[kRadioSwitch] = 1;
}

void DeviceModel::advance_to(double seconds) {
    if (!(seconds > now_)) {
        return;  // also keeps a NaN out
    }
    const double dt = seconds - now_;
    // The part of the interval that a burst covers fails at its share of
    // the received blocks, at the rate the interval ends with.
    const double burst = std::max(std::min(burst_until_, seconds) - now_, 0.0);
    now_ = seconds;
    if (radio_on()) {
        fec_errors_ += kFecErrorsPerSecond * dt;
        fec_failures_ += (kFecFailuresPerSecond + error_rate_) * dt +
                         kBurstFailureShare * measurement(DeviceObject::kRadioToPhyRate) * burst;
        drops_phy_to_radio_ += kDropsPhyToRadioPerSecond * dt;
        drops_radio_to_phy_ += kDropsRadioToPhyPerSecond * dt;
    }
    const double target = switches_[kHeaterSwitch] != 0 ? 1.0 : 0.0;
    heater_warmth_ +=
        (target - heater_warmth_) * (1.0 - std::exp(-dt / kHeaterTimeConstantSeconds));
}

void DeviceModel::set_error_rate(double per_second) {
    error_rate_ = std::max(per_second, 0.0);
}

void DeviceModel::start_error_burst(double seconds) {
    burst_until_ = now_ + std::max(seconds, 0.0);
}

void DeviceModel::unlock_receiver(double seconds) {
    unlock_until_ = now_ + std::max(seconds, 0.0);
}

void DeviceModel::take_link_down(double seconds) {
    link_down_until_ = now_ + std::max(seconds, 0.0);
}

void DeviceModel::clear_link_faults() {
    error_rate_ = 0.0;
    burst_until_ = now_;
    unlock_until_ = now_;
    link_down_until_ = now_;
}

int32_t DeviceModel::switch_state(int index) const {
    return index >= 0 && index < kSwitchCount ? switches_[index] : 0;
}

void DeviceModel::set_switch(int index, bool on) {
    if (index >= 0 && index < kSwitchCount) {
        switches_[index] = on ? 1 : 0;
    }
}

void DeviceModel::override_rail(SupplyRail rail, int32_t millivolts) {
    rail_overrides_[static_cast<int>(rail)] = millivolts;
}

void DeviceModel::clear_rail_overrides() {
    rail_overrides_.fill(std::nullopt);
}

std::optional<int32_t> DeviceModel::rail_override(SupplyRail rail) const {
    return rail_overrides_[static_cast<int>(rail)];
}

int32_t DeviceModel::supply_mv(SupplyRail rail) const {
    const int index = static_cast<int>(rail);
    if (rail_overrides_[index]) {
        return *rail_overrides_[index];
    }
    const RailShape& shape = kRails[index];
    return drift(shape.nominal_mv, shape.swing_mv, 420.0 + 37.0 * index, 0.7 * index, now_,
                 100 + static_cast<uint32_t>(index), shape.swing_mv / 10);
}

void DeviceModel::start_replay() {
    replaying_ = true;
    switch_written_.fill(false);
    key_written_ = false;
}

void DeviceModel::show_replayed(const ReplayedValues& values) {
    replayed_ = values;
    family_ = values.family;
}

int32_t DeviceModel::replayed_measurement(DeviceObject object) const {
    const int index = static_cast<int>(object);
    const int switch_index = index - static_cast<int>(DeviceObject::kRadioSwitch);
    if (switch_index >= 0 && switch_index < kSwitchCount && switch_written_[switch_index]) {
        return switches_[switch_index];
    }
    const bool radio_off = switch_written_[kRadioSwitch] && !radio_on();
    switch (object) {
        case DeviceObject::kPhyToRadioRate:
        case DeviceObject::kRadioToPhyRate:
        case DeviceObject::kDownlinkMbps:
        case DeviceObject::kUplinkMbps:
            return radio_off ? 0 : replayed_.numbers[index];
        default:
            return replayed_.numbers[index];
    }
}

DeviceValue DeviceModel::value(DeviceObject object) const {
    const FamilyTexts& texts = texts_of(family_);
    const int id_item = static_cast<int>(object) - static_cast<int>(DeviceObject::kIdentification1);
    if (replaying_ && id_item >= 0 && id_item < 8) {
        if (id_item == 7 && key_written_) {
            return DeviceValue::octets(key_);
        }
        const bool logged = std::any_of(replayed_.id.begin(), replayed_.id.end(),
                                        [](const std::string& t) { return !t.empty(); });
        if (logged) {
            return DeviceValue::octets(replayed_.id[id_item]);
        }
    }
    if (replaying_ && device_object_type(object) == kTagInteger) {
        return DeviceValue::integer(replayed_measurement(object));
    }
    switch (object) {
        case DeviceObject::kSysDescr:
            return DeviceValue::octets(std::string("Tarvik simulated radio-link transceiver ") +
                                       texts.model);
        case DeviceObject::kSysContact:
            return DeviceValue::octets("lab bench, extension 350");
        case DeviceObject::kSysName:
            return DeviceValue::octets("tarvik-sim");
        case DeviceObject::kIdentification1:
            return DeviceValue::octets("Tarvik radio link");
        case DeviceObject::kIdentification2:
            return DeviceValue::octets(texts.model);
        case DeviceObject::kIdentification3:
            return DeviceValue::octets(texts.serial);
        case DeviceObject::kIdentification4:
            return DeviceValue::octets("FW 3.2.7");
        case DeviceObject::kIdentification5:
            return DeviceValue::octets(texts.hardware);
        case DeviceObject::kIdentification6:
            return DeviceValue::octets(texts.transmit);
        case DeviceObject::kIdentification7:
            return DeviceValue::octets(texts.receive);
        case DeviceObject::kIdentification8:
            return DeviceValue::octets(key_);
        default:
            return DeviceValue::integer(measurement(object));
    }
}

int32_t DeviceModel::measurement(DeviceObject object) const {
    const double t = now_;
    const bool on = radio_on();
    const bool wide = family_ == DeviceFamily::k1000;
    const auto seed = static_cast<uint32_t>(object);
    const auto warmth = [this](int sensor) {
        return static_cast<int32_t>(std::lround(kHeaterGain[sensor] * heater_warmth_));
    };
    switch (object) {
        case DeviceObject::kSensorCount:
            return 3;
        case DeviceObject::kTemperature1:
            return drift(3800, 300, 600, 0.0, t, seed, 15) + warmth(0);
        case DeviceObject::kTemperature2:
            return drift(4200, 250, 900, 1.0, t, seed, 15) + warmth(1);
        case DeviceObject::kTemperature3:
            return drift(3300, 200, 1200, 2.0, t, seed, 15) + warmth(2);
        case DeviceObject::kReceiverVoltage:
            // Slow fading of the received level; the AGC follows it.
            return drift(1850, 120, 240, 0.0, t, seed, 8);
        case DeviceObject::kTransmitterVoltage:
            return on ? drift(2400, 20, 500, 0.5, t, seed, 5) : 0;
        case DeviceObject::kAgcVoltage:
            return drift(1250, -80, 240, 0.0, t, seed, 5);
        case DeviceObject::kAttenuation:
            return 120;
        case DeviceObject::kHumidity:
            return drift(35, 5, 1800, 0.3, t, seed, 1);
        case DeviceObject::kSupply24V:
        case DeviceObject::kSupply12V:
        case DeviceObject::kSupply9V:
        case DeviceObject::kSupplyMinus12V:
        case DeviceObject::kSupply5V:
        case DeviceObject::kSupply3V3:
        case DeviceObject::kSupply5VStandby:
            return supply_mv(static_cast<SupplyRail>(static_cast<int>(object) -
                                                     static_cast<int>(DeviceObject::kSupply24V)));
        case DeviceObject::kTotalCurrent:
            return drift(12500, 200, 300, 1.5, t, seed, 40) + (on ? kTransmitterCurrent : 0) +
                   static_cast<int32_t>(std::lround(kHeaterCurrent * heater_warmth_));
        case DeviceObject::kRadioSwitch:
        case DeviceObject::kSwitch2:
        case DeviceObject::kHeaterSwitch:
        case DeviceObject::kSwitch4:
        case DeviceObject::kSwitch5:
        case DeviceObject::kSwitch6:
            return switches_[static_cast<int>(object) -
                             static_cast<int>(DeviceObject::kRadioSwitch)];
        case DeviceObject::kPhyToRadioRate:
            if (!on) {
                return 0;
            }
            return wide ? drift(64000, 8000, 180, 0.0, t, seed, 150)
                        : drift(21000, 3000, 180, 0.0, t, seed, 150);
        case DeviceObject::kRadioToPhyRate:
            if (!on) {
                return 0;
            }
            return wide ? drift(58000, 7000, 210, 1.0, t, seed, 150)
                        : drift(19000, 2500, 210, 1.0, t, seed, 150);
        case DeviceObject::kFecErrorsOrFrequencyOffset:
            return wide ? counter_value(fec_errors_) : drift(-1800, 600, 300, 0.0, t, seed, 40);
        case DeviceObject::kFecFailures:
            return counter_value(fec_failures_);
        case DeviceObject::kModemStatusOrMse:
            // Quality stays good but in a burst; a receiver unlocked on
            // request reports no lock.
            if (wide) {
                const int32_t locked = on && t >= unlock_until_ ? 1 : 0;
                return locked | (on && t < burst_until_ ? 2 : 0);
            }
            return drift(245, 15, 150, 0.0, t, seed, 3);
        case DeviceObject::kDownlinkMbps:
        case DeviceObject::kUplinkMbps:
            return on && t >= link_down_until_ ? static_cast<int32_t>(family_) : 0;
        case DeviceObject::kDropPhyToRadio:
            return counter_value(drops_phy_to_radio_);
        case DeviceObject::kDropRadioToPhy:
            return counter_value(drops_radio_to_phy_);
        default:
            return 0;
    }
}

SetOutcome DeviceModel::check_set(DeviceObject object, const DeviceValue& value) const {
    if (object == DeviceObject::kIdentification8) {
        if (value.type != kTagOctetString ||
            value.text.size() > static_cast<size_t>(kMaxKeyLength)) {
            return SetOutcome::kBadValue;
        }
        return SetOutcome::kAccepted;
    }
    const int index = static_cast<int>(object) - static_cast<int>(DeviceObject::kRadioSwitch);
    if (index < 0 || index >= kSwitchCount) {
        return SetOutcome::kNotWritable;
    }
    if (value.type != kTagInteger || (value.number != 0 && value.number != 1)) {
        return SetOutcome::kBadValue;
    }
    return SetOutcome::kAccepted;
}

void DeviceModel::apply_set(DeviceObject object, const DeviceValue& value) {
    if (check_set(object, value) != SetOutcome::kAccepted) {
        return;
    }
    if (object == DeviceObject::kIdentification8) {
        key_ = value.text;
        key_written_ = replaying_;
        return;
    }
    if (replaying_) {
        switch_written_[static_cast<int>(object) - static_cast<int>(DeviceObject::kRadioSwitch)] =
            true;
    }
    set_switch(static_cast<int>(object) - static_cast<int>(DeviceObject::kRadioSwitch),
               value.number != 0);
}
