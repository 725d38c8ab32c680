// Minimising into the tray icon and back, the fallback where no icon can be
// added, and the alarm shown in the icon, its tip and a balloon.
#include <vector>

#include "process/wide_text.h"
#include "window_fixture.h"
#include "window_texts.h"

namespace {

struct ShellCall {
    DWORD message;
    UINT flags;
    std::string tip;
    std::string balloon;
    HICON icon;
};

class Win32TrayTest : public Win32WindowTest {
protected:
    void SetUp() override {
        Win32WindowTest::SetUp();
        open_window();
        // The real notification area is called, and each call recorded.
        window_->tray().set_shell([this](DWORD message, NOTIFYICONDATAW* data) {
            calls_.push_back({message, data->uFlags, wide_to_utf8(data->szTip),
                              wide_to_utf8(data->szInfo), data->hIcon});
            return refuse_ ? false : Shell_NotifyIconW(message, data) != FALSE;
        });
    }
    void minimise() {
        ShowWindow(window_->window(), SW_MINIMIZE);
        pump();
    }
    std::vector<ShellCall> calls_;
    bool refuse_ = false;
};

TEST_F(Win32TrayTest, MinimisingHidesBehindTheIconAndAButtonReleaseRestores) {
    HWND dialog = window_->window();
    for (UINT button : {WM_LBUTTONUP, WM_RBUTTONUP}) {
        SCOPED_TRACE(button);
        minimise();
        EXPECT_FALSE(IsWindowVisible(dialog));
        ASSERT_TRUE(window_->tray().shown());
        EXPECT_EQ(calls_.back().message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(calls_.back().tip, window_texts::kTrayTip);

        for (UINT nothing : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
            SendMessageW(dialog, kTrayMessage, 0, nothing);
        }
        EXPECT_FALSE(IsWindowVisible(dialog));
        if (button == WM_RBUTTONUP) {
            // The right button also opens the icon's menu: closed here at once.
            SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) {
                KillTimer(nullptr, timer);
                EndMenu();
            });
        }
        SendMessageW(dialog, kTrayMessage, 0, button);
        pump();  // the menu opens from the window's loop
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_FALSE(IsIconic(dialog));
        EXPECT_FALSE(window_->tray().shown());
        EXPECT_EQ(calls_.back().message, static_cast<DWORD>(NIM_DELETE));
    }
}

TEST_F(Win32TrayTest, WhereTheIconCannotBeAddedTheWindowJustMinimises) {
    refuse_ = true;
    minimise();
    EXPECT_TRUE(IsIconic(window_->window()));
    EXPECT_TRUE(IsWindowVisible(window_->window()));
    EXPECT_FALSE(window_->tray().shown());
}

TEST_F(Win32TrayTest, AnAlarmTurnsTheIconAndTipAndShowsABalloon) {
    point_at_simulator();
    set_text(ControlId::kIntervalField, "3600000");
    click(ControlId::kStartButton);
    minimise();
    ASSERT_TRUE(window_->tray().shown());
    const HICON calm = window_->tray().icon();
    ASSERT_NE(calm, window_->tray().alarm_icon());

    sim_.set_rail(SupplyRail::k12V, window_texts::kRail12VHighMillivolts);
    calls_.clear();
    SendMessageW(window_->window(), WM_TIMER, kPollTimerId, 0);
    pump();
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(calls_[0].flags, static_cast<UINT>(NIF_INFO));
    EXPECT_EQ(calls_[0].balloon, "U +12V 14.5 V outside 10.0..14.0 V");
    EXPECT_EQ(calls_[1].tip, window_texts::kTrayTipRail12VHigh);
    EXPECT_EQ(calls_[1].icon, window_->tray().alarm_icon());

    SendMessageW(window_->window(), kTrayMessage, 0, WM_LBUTTONUP);
    click(ControlId::kResetButton);
    EXPECT_EQ(window_->tray().tip(), window_texts::kTrayTip);
    EXPECT_EQ(window_->tray().icon(), calm);
}

}  // namespace
