// The seam between the monitor's logic and a window.
//
// The monitor is a library: the Qt dialog is one host of it, the terminal
// front end and the tests are others. Each host implements these few
// operations over its own controls, which are named by the IDs of the
// console's control table. Strings cross the seam as single-byte text.
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
// or "\r\n"); empty past the last line. Hosts that keep texts in memory
// answer `get_line` with it.
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

class WindowServices {
public:
    virtual ~WindowServices() = default;

    // Replaces the control's whole text; "\r\n" breaks a line in the panes.
    virtual void set_text(ControlId id, const std::string& text) = 0;
    // The control's whole text (for the address box, its edit part).
    virtual std::string get_text(ControlId id) = 0;
    // Line `line` of a (possibly multi-line) edit, without its line break.
    virtual std::string get_line(ControlId id, int line) = 0;
    // 0 unchecked, 1 checked; unattached slots read 0.
    virtual int get_check(ControlId id) = 0;
    // The state given becomes the box's state; unattached slots ignore it.
    virtual void set_check(ControlId id, int state) = 0;
    virtual void enable(ControlId id, bool enabled) = 0;

    // The address box's list.
    virtual void insert_in_list(ControlId id, int position, const std::string& text) = 0;
    virtual void delete_from_list(ControlId id, int position) = 0;
    virtual void add_to_list(ControlId id, const std::string& text) = 0;
    virtual int list_count(ControlId id) = 0;
    virtual void select_in_list(ControlId id, int position) = 0;
    virtual std::string list_item(ControlId id, int position) = 0;

    // Starts (or restarts) the poll timer; its ticks reach the monitor's
    // `on_timer` through the host's event loop, at most one pending at a time.
    virtual void start_timer(int period_ms) = 0;
    // No further tick is generated; one already queued may still arrive.
    virtual void stop_timer() = 0;

    // A modal box with the text, an OK button and a warning icon. Timer ticks
    // may be delivered while it is open.
    virtual void message_box(const std::string& text) = 0;
};
