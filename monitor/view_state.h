// What the window shows, as the monitor publishes it after every change, and
// what the operator typed, as each command hands it to the monitor. A host
// (the Qt window, the Win32 window, the terminal) draws the one and fills in
// the other; it holds no rule of its own.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/supply_rails.h"
#include "logbook/error_performance.h"
#include "monitor/window_services.h"

// The fields and boxes a command reads, as they stood when it was given.
struct OperatorInput {
    std::string address;  // the address box's edit text
    std::string community;
    std::string interval;
    bool log = false;  // "Log to file :"
    std::string log_file;
    std::string key;  // the key field's whole text; its first line is sent
    bool radio = false;
    bool heater = false;
};

// What a command carries, read off a window by its `text(ControlId)` and
// `checked(ControlId)`: one reading for every host.
template <typename Text, typename Checked>
OperatorInput read_operator_input(Text text, Checked checked) {
    OperatorInput input;
    input.address = text(ControlId::kAddressBox);
    input.community = text(ControlId::kCommunityField);
    input.interval = text(ControlId::kIntervalField);
    input.log = checked(ControlId::kLogCheckBox);
    input.log_file = text(ControlId::kLogFileField);
    input.key = text(ControlId::kKeyField);
    input.radio = checked(ControlId::kRadioCheckBox);
    input.heater = checked(ControlId::kHeaterCheckBox);
    return input;
}

// A voltage lamp: clear, lit by its latch, or unchecked by a poll without
// answer while its latch still stands (the rail went out of range earlier;
// whether it is still lit is not known until the device answers).
enum class LampState : uint8_t { kClear, kLit, kNotKnownNow };

struct ViewState {
    // The six panes' texts by control ("\r\n" breaks a line).
    std::map<ControlId, std::string> panes;
    // Panes that keep the text of an earlier answered poll because the last
    // poll had no answer (an empty pane is not among them); a host draws
    // them as old.
    std::set<ControlId> stale;
    LampState lamps[kVoltageAlarmCount] = {};
    // Radio and Heater as the device last reported them. A host sets its
    // boxes when `switches_shown` changes, so a click since stands.
    bool radio = false;
    bool heater = false;
    unsigned switches_shown = 0;
    // Fields the monitor filled in (the defaults, the history's first
    // entry). A host copies them into its fields when `fields_filled`
    // changes, and leaves the operator's typing alone otherwise.
    OperatorInput fields;
    unsigned fields_filled = 0;
    // The eight identification items as Start or Get last read them, the
    // key as last sent; the pane shows them after Get only.
    std::vector<std::string> identification;
    std::vector<std::string> history;  // the address box's list, newest first
    bool log_controls_enabled = true;

    bool polling = false;
    std::string agent;            // the address as the last command took it
    bool agent_refused = false;   // `agent` names no usable agent: nothing is sent
    int period_ms = 0;            // the poll timer's period since Start
    int32_t family = 0;           // the device's family as last read; 0: none read
    std::time_t last_answer = 0;  // the last answered poll; 0: none
    int unanswered_polls = 0;     // polls without answer since `last_answer`
    unsigned polls_shown = 0;     // counts every poll shown, answered or not
    bool last_poll_answered = false;
    std::string standing_alarm;  // what a tray icon names; empty: none
    // The link's error performance since local midnight (shown once a second
    // of today is counted), and the class of the latest poll's time (UAS
    // while the link counts as unavailable).
    QualityCounts quality_today;
    SecondClass second_class = SecondClass::kUnknown;
    std::string status;  // the status line
};

// What a host copies into its fields and boxes when it draws `view` over
// `drawn`, the view it drew last (`first`: none yet): the fields when the
// monitor filled them anew, Radio and Heater when a poll reported them.
// Otherwise the operator's typing and clicks stand.
struct FieldCopies {
    bool fields = false;    // address, community, interval and the log's from `view.fields`
    bool switches = false;  // Radio and Heater from `view.radio` and `view.heater`
};
FieldCopies field_copies(const ViewState& drawn, const ViewState& view, bool first);

// "Polling 10.0.0.5 every 1000 ms · family 350 · last answer 10:41:03 ·
// today: 3 ES · 0 SES · 0 UAS",
// "No answer from 10.0.0.5 since 10:41:03 (4 polls)", "Nothing was sent to
// 10.1.1.010: no usable agent address" or "Stopped"; the time is local.
std::string status_text(const ViewState& view);

// A lamp's tooltip, naming its rail and limits in every state: a lit lamp
// says that it stays lit until Reset; one not known now that the rail went
// out of range earlier and that the lamp shows again when the device
// answers; a clear lamp what lights it.
std::string lamp_tip(LampState state, int rail);

// Whether a pane's text is from an earlier poll (see `ViewState::stale`).
inline bool is_stale(const ViewState& view, ControlId pane) {
    return view.stale.count(pane) != 0;
}

// A message box's text as a host shows it: the fixed text, and on a second
// line the file or host it is about and the reason, when known.
inline std::string message_text(const std::string& text, const std::string& detail) {
    return detail.empty() ? text : text + "\n" + detail;
}
