// A Win32 main window for each test, on the X display that xvfb-run gives
// Wine, with a simulated transceiver on a loopback port, message boxes
// recorded instead of shown, and a settings file of its own.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/device_readings.h"
#include "sim/simulated_transceiver.h"
#include "win32/profile_settings_store.h"
#include "win32/tarvik_dlg.h"

class Win32WindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes, initialises and shows a window over the test's settings file.
    CTarvikDlg& open_window();
    // Handles every message queued for the thread, as the window's loop does
    // (with a short poll interval running, it may never find the queue empty).
    void pump_queued();
    // The same, then the window's loop goes on until no command or exchange
    // of the monitor is in flight. While the simulator is silent the
    // window's clock steps through each wait (unless `step_silences_` is
    // false), rather than wait it out.
    void pump();
    void click(ControlId id);
    // Gives `id` the focus as Tab would.
    void focus(ControlId id);
    // Presses `key` on the focused control, through the window's loop.
    void press(UINT key);
    void press_key(ControlId id, UINT key) {
        focus(id);
        press(key);
    }
    // The controls as the operator sees them and types into them, read and
    // written directly (UTF-8 here, UTF-16 in the controls).
    std::string text(ControlId id);
    void set_text(ControlId id, const std::string& text);
    bool checked(ControlId id);
    // The address box's list.
    std::vector<std::string> list();
    // The monitor's view with `pane` showing `text`, drawn by the window.
    void draw_pane(ControlId pane, const std::string& text);
    void point_at_simulator() { set_text(ControlId::kAddressBox, "127.0.0.1"); }

    std::wstring folder_;  // a fresh folder for the test's files
    std::string ini_path_;
    std::unique_ptr<ProfileSettingsStore> settings_;
    SimulatedTransceiver sim_;
    DeviceReadings readings_;
    std::unique_ptr<CTarvikDlg> window_;
    std::vector<std::string> messages_;
    bool step_silences_ = true;
};

// The value `key` of section [Main] in the INI file at `path`, read
// directly from the file.
std::string ini_value(const std::string& path, const std::string& key);
