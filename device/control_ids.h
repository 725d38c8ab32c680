// The controls of the console's window, named by the IDs of its control
// table, and the switch slots that have none. The device's tables (the
// switches, the rails' lamps, the panes) name their controls with these.
#pragma once

#include <string>

enum class ControlId : int {
    kStopButton = 1000,
    kStartButton = 1002,
    kTemperaturePane = 1005,
    kIdentificationPane = 1006,
    kVoltagePane = 1007,
    kCommunityField = 1010,
    kLogCheckBox = 1013,
    kLogFileField = 1014,
    kKeyField = 1015,
    kIntervalField = 1016,
    kRadioCheckBox = 1017,
    kHeaterCheckBox = 1019,
    kGetButton = 1024,
    kSetButton = 1025,
    kSendKeyButton = 1026,
    kAddressBox = 1027,
    kVoltageLamp3 = 1028,
    kVoltageLamp4 = 1029,
    kVoltageLamp5 = 1030,
    kVoltageLamp6 = 1031,
    kVoltageLamp1 = 1032,
    kResetButton = 1033,
    kVoltageLamp2 = 1034,
    kStatisticPane = 1035,
    kLinkPane = 1036,
    kRxPane = 1037,
    // Switches 2, 4, 5 and 6 of the device have no control in the window:
    // their slots read 0 and ignore writes.
    kSwitchSlot29 = -29,
    kSwitchSlot31 = -31,
    kSwitchSlot32 = -32,
    kSwitchSlot33 = -33,
};

// True for the four switch slots that have no control.
constexpr bool is_unattached_slot(ControlId id) {
    return static_cast<int>(id) < 0;
}

// The six switch controls in catalog order 28 to 33.
constexpr ControlId kSwitchControls[6] = {ControlId::kRadioCheckBox,  ControlId::kSwitchSlot29,
                                          ControlId::kHeaterCheckBox, ControlId::kSwitchSlot31,
                                          ControlId::kSwitchSlot32,   ControlId::kSwitchSlot33};

// Line `line` (from 0) of a multi-line text, without its line break ("\n"
// or "\r\n"); empty past the last line.
inline std::string line_of_text(const std::string& text, int line) {
    size_t start = 0;
    for (int i = 0; i < line; ++i) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            return std::string();
        }
        start = end + 1;
    }
    std::string result = text.substr(start, text.find('\n', start) - start);
    if (!result.empty() && result.back() == '\r') {
        result.pop_back();
    }
    return result;
}
