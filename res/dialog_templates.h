// The console's dialog templates as control tables: the main window
// (dialog 102) and the About box (dialog 100). Positions and sizes are in
// dialog units; the front end converts them with its dialog font. Each
// table is in template order, which is also the tab order.
#pragma once

namespace dialog_template {

enum class ControlKind {
    kPushButton,
    kDefaultPushButton,
    kStaticText,
    kStaticIcon,
    kGroupBox,
    kCheckBox,
    kEdit,           // single line
    kPane,           // multi-line edit; Enter is not a line break
    kEnterPane,      // multi-line edit that takes Enter as a line break
    kDropDownCombo,  // editable text with an unsorted list
};

constexpr int kNoId = -1;

struct Control {
    int id;  // kNoId for static texts, icons and group boxes
    ControlKind kind;
    const char* caption;  // nullptr: none
    const char* group;    // caption of the group box that frames it; nullptr: none
    int x, y, width, height;
    const char* name;  // a readable name, for controls without an ID
};

struct Dialog {
    const char* title;
    int width, height;
    int font_point_size;
    const Control* controls;
    int control_count;
};

// The main window. A drop-down combo's height includes its dropped list.
constexpr Control kMainControls[] = {
    {1000, ControlKind::kPushButton, "Stop", nullptr, 7, 223, 78, 14, "stop_button"},
    {1002, ControlKind::kPushButton, "Start", nullptr, 7, 201, 78, 14, "start_button"},
    {kNoId, ControlKind::kStaticText, "IP address:", nullptr, 7, 7, 36, 8, "address_label"},
    {kNoId, ControlKind::kStaticText, "Community name:", nullptr, 7, 39, 56, 8, "community_label"},
    {kNoId, ControlKind::kGroupBox, "Identification Information", nullptr, 90, 9, 182, 132,
     "identification_group"},
    {kNoId, ControlKind::kGroupBox, "Temperature", nullptr, 278, 9, 188, 52, "temperature_group"},
    {kNoId, ControlKind::kGroupBox, "Control", nullptr, 90, 147, 80, 119, "control_group"},
    {kNoId, ControlKind::kGroupBox, "Link", nullptr, 182, 147, 90, 40, "link_group"},
    {kNoId, ControlKind::kGroupBox, "RX inf.", nullptr, 182, 197, 90, 48, "rx_group"},
    {kNoId, ControlKind::kGroupBox, "Voltage", nullptr, 277, 65, 189, 135, "voltage_group"},
    {1005, ControlKind::kPane, nullptr, "Temperature", 283, 22, 176, 33, "temperature_pane"},
    {1006, ControlKind::kEnterPane, nullptr, "Identification Information", 96, 22, 170, 80,
     "identification_pane"},
    {1007, ControlKind::kPane, nullptr, "Voltage", 283, 78, 162, 115, "voltage_pane"},
    {1010, ControlKind::kEdit, nullptr, nullptr, 7, 50, 79, 14, "community_field"},
    {1013, ControlKind::kCheckBox, "Log to file :", "File", 95, 282, 51, 10, "log_check_box"},
    {kNoId, ControlKind::kStaticText, "Interval ms:", nullptr, 7, 71, 37, 8, "interval_label"},
    {1016, ControlKind::kEdit, nullptr, nullptr, 7, 82, 79, 14, "interval_field"},
    {1017, ControlKind::kCheckBox, "Radio", "Control", 106, 160, 47, 10, "radio_check_box"},
    {1019, ControlKind::kCheckBox, "Heater", "Control", 106, 188, 47, 10, "heater_check_box"},
    {1024, ControlKind::kPushButton, "Get", "Identification Information", 98, 106, 50, 14,
     "get_button"},
    {1025, ControlKind::kPushButton, "Set", "Control", 95, 245, 50, 14, "set_button"},
    {1027, ControlKind::kDropDownCombo, nullptr, nullptr, 7, 18, 79, 59, "address_box"},
    {kNoId, ControlKind::kGroupBox, "File", nullptr, 89, 269, 182, 32, "file_group"},
    {1028, ControlKind::kCheckBox, "Check1", "Voltage", 451, 138, 8, 8, "voltage_lamp_3"},
    {1029, ControlKind::kCheckBox, "Check1", "Voltage", 451, 146, 8, 8, "voltage_lamp_4"},
    {1030, ControlKind::kCheckBox, "Check1", "Voltage", 451, 154, 8, 8, "voltage_lamp_5"},
    {1031, ControlKind::kCheckBox, "Check1", "Voltage", 451, 162, 8, 8, "voltage_lamp_6"},
    {1033, ControlKind::kPushButton, "Reset", nullptr, 7, 245, 78, 14, "reset_button"},
    {1032, ControlKind::kCheckBox, "Check1", "Voltage", 451, 122, 8, 8, "voltage_lamp_1"},
    {1034, ControlKind::kCheckBox, "Check1", "Voltage", 451, 130, 8, 8, "voltage_lamp_2"},
    {1035, ControlKind::kPane, nullptr, "Statistic", 283, 217, 175, 77, "statistic_pane"},
    {kNoId, ControlKind::kGroupBox, "Statistic", nullptr, 277, 203, 189, 98, "statistic_group"},
    {1014, ControlKind::kEdit, nullptr, "File", 146, 281, 120, 13, "log_file_field"},
    {1015, ControlKind::kEdit, nullptr, "Identification Information", 154, 123, 112, 13,
     "key_field"},
    {1026, ControlKind::kPushButton, "Send KEY", "Identification Information", 98, 122, 50, 14,
     "send_key_button"},
    {1036, ControlKind::kPane, nullptr, "Link", 188, 160, 78, 20, "link_pane"},
    {1037, ControlKind::kPane, nullptr, "RX inf.", 188, 210, 78, 28, "rx_pane"},
};

constexpr Dialog kMainDialog = {"Tarvik v7310QX-2",
                                473,
                                308,
                                8,
                                kMainControls,
                                sizeof(kMainControls) / sizeof(kMainControls[0])};

// The About box. Its text is shown as it stands: no mnemonic processing.
constexpr Control kAboutControls[] = {
    {kNoId, ControlKind::kStaticIcon, nullptr, nullptr, 11, 17, 20, 20, "about_icon"},
    {kNoId, ControlKind::kStaticText, "Tarvik Version 7310QX-2", nullptr, 40, 10, 119, 8,
     "about_text"},
    {1, ControlKind::kDefaultPushButton, "OK", nullptr, 178, 7, 50, 14, "ok_button"},
};

constexpr Dialog kAboutDialog = {"About Tarvik v7310QX-2",
                                 235,
                                 55,
                                 8,
                                 kAboutControls,
                                 sizeof(kAboutControls) / sizeof(kAboutControls[0])};

// String 101: the About item of the window's menus.
constexpr char kAboutItemText[] = "&About Tarvik...";

// The tray icon's tip.
constexpr char kTrayTip[] = "Tarvik Monitor";

// Icon resources in the Qt resource file (res/tarvik.qrc).
constexpr char kMainIcon32[] = ":/icons/tarvik-32.png";           // icon 128
constexpr char kMainIcon16[] = ":/icons/tarvik-16.png";           // icon 128
constexpr char kTrayIcon16[] = ":/icons/tray-16.png";             // icon 129
constexpr char kTrayAlarmIcon16[] = ":/icons/tray-alarm-16.png";  // icon 129, an alarm standing

}  // namespace dialog_template
