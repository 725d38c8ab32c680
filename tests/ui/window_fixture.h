// A main window for each test, on the offscreen platform, with a simulated
// transceiver on a loopback port and message boxes recorded instead of
// shown.
#pragma once

#include <gtest/gtest.h>

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "device/device_readings.h"
#include "sim/simulated_transceiver.h"
#include "ui/tarvik_dlg.h"

class WindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes, initialises (with `settings`, may be null) and shows a window.
    CTarvikDlg& open_window(SettingsStore* settings = nullptr);
    // Types the simulator's address into the address box.
    void point_at_simulator();
    // Makes the window the active one, so keys reach its focus widget.
    void activate();

    QWidget* widget(ControlId id) { return window_->control(id); }
    template <class Widget>
    Widget* widget_as(ControlId id) {
        return qobject_cast<Widget*>(widget(id));
    }
    // A click, then the window's loop runs until the command and the
    // exchanges it started are through; while the simulator is silent, the
    // window's clock steps through each wait (unless `step_silences_` is
    // false: a test of what happens during a wait).
    void click(ControlId id);
    void settle();
    void press_key(QWidget* target, int key);
    // The widgets as the operator sees them and types into them, read and
    // written directly (UTF-8; a pane's lines joined by "\r\n"; the log
    // file's name in the platform's file-name encoding).
    std::string text(ControlId id);
    void set_text(ControlId id, const std::string& text);
    bool checked(ControlId id);
    void set_checked(ControlId id, bool on);
    // The address box's list.
    std::vector<std::string> list();

    SimulatedTransceiver sim_;
    DeviceReadings readings_;
    std::unique_ptr<CTarvikDlg> window_;
    std::vector<std::string> messages_;
    bool tray_available_ = false;
    bool record_messages_ = true;  // false: real message boxes
    bool step_silences_ = true;
};
