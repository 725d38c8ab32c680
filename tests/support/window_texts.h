// What the operator reads in the console window, the same in every front
// end that has one (the Qt window and the Win32 window): the tests of each
// compare against these.
#pragma once

namespace window_texts {

constexpr char kTrayTip[] = "Tarvik Monitor";
// The tip while the +12 V rail, pinned at 14500 mV, has lit its lamp.
constexpr char kTrayTipRail12VHigh[] = "Tarvik Monitor: U +12V 14.5 V outside 10.0..14.0 V";
constexpr int kRail12VHighMillivolts = 14500;
// The tip while the simulator at 127.0.0.1 gives no answer.
constexpr char kTrayTipNoAnswer[] = "Tarvik Monitor: no answer from 127.0.0.1";
constexpr char kAboutItem[] = "&About Tarvik...";
constexpr char kCannotOpenLog[] = "Can't open log file";

}  // namespace window_texts
