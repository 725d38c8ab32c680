// The window driven as the operator drives it, against the simulated
// transceiver: Start fills the panes and the poll timer polls, the lamps
// latch until Reset, Get and Send KEY, and the log file by its UTF-8 name.
#include "device/panes.h"
#include "process/wide_text.h"
#include "window_fixture.h"
#include "window_texts.h"

// After windows.h, which it needs.
#include <commctrl.h>

namespace {

class Win32PollingTest : public Win32WindowTest {
protected:
    void SetUp() override {
        Win32WindowTest::SetUp();
        open_window();
        point_at_simulator();
    }
    // A long interval: the test delivers the ticks itself.
    void start_without_ticks() {
        set_text(ControlId::kIntervalField, "3600000");
        click(ControlId::kStartButton);
    }
    void tick() {
        SendMessageW(window_->window(), WM_TIMER, kPollTimerId, 0);
        pump();
    }
};

TEST_F(Win32PollingTest, StartFillsEveryPaneTheTimerPollsAndStopEndsPolling) {
    start_without_ticks();
    EXPECT_TRUE(messages_.empty());
    for (const ReadingPane& pane : kReadingPanes) {
        SCOPED_TRACE(pane.title);
        EXPECT_NE(pane.text(readings_), kNoConnection);
        EXPECT_EQ(text(pane.id), pane.text(readings_));
    }
    EXPECT_NE(readings_.temperature[0], 0);
    EXPECT_FALSE(IsWindowEnabled(window_->control(ControlId::kLogCheckBox)));
    EXPECT_FALSE(IsWindowEnabled(window_->control(ControlId::kLogFileField)));

    const uint64_t before = sim_.requests_received();
    tick();
    EXPECT_EQ(sim_.requests_received(), before + 5) << "one poll: five runs";

    click(ControlId::kStopButton);
    EXPECT_TRUE(IsWindowEnabled(window_->control(ControlId::kLogCheckBox)));
    tick();
    EXPECT_EQ(sim_.requests_received(), before + 5) << "no poll once stopped";
}

TEST_F(Win32PollingTest, ShortIntervalPollsOnTheWindowsTimer) {
    set_text(ControlId::kIntervalField, "20");
    SendMessageW(window_->control(ControlId::kStartButton), BM_CLICK, 0, 0);
    const uint64_t started = sim_.requests_received();
    // One message at a time: a poll that outlasts the period leaves a tick
    // always pending, so the queue may never run empty.
    const DWORD until = GetTickCount() + 5000;
    while (sim_.requests_received() < started + 10 && GetTickCount() < until) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            window_->dispatch(message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    EXPECT_GE(sim_.requests_received(), started + 10);
    SendMessageW(window_->control(ControlId::kStopButton), BM_CLICK, 0, 0);
}

// An unlit lamp's tip: its rail and limits, as the monitor words it.
std::string clear_tip(ControlId lamp) {
    for (int rail = 0; rail < kVoltageAlarmCount; ++rail) {
        if (kVoltageLamps[rail] == lamp) {
            return lamp_tip(LampState::kClear, rail);
        }
    }
    return "(not a lamp)";
}

TEST_F(Win32PollingTest, LampLatchesUntilReset) {
    const struct {
        SupplyRail rail;
        int32_t millivolts;
        ControlId lamp;
        const char* tip;  // while lit
    } cases[] = {
        {SupplyRail::k24V, 36000, ControlId::kVoltageLamp1,
         "U +24V went outside 22.0..35.0 V; lit until Reset"},
        {SupplyRail::k3V3, 2000, ControlId::kVoltageLamp6,
         "U +3.3V went outside 2.5..4.0 V; lit until Reset"},
    };
    // Lit: drawn red, with the rail's tip; unlit: no red and no tip.
    const auto expect_drawn = [this](ControlId lamp, const char* tip) {
        HWND box = window_->control(lamp);
        RECT client;
        GetClientRect(box, &client);
        HDC screen = GetDC(box);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
        HGDIOBJ old = SelectObject(dc, bitmap);
        SendMessageW(box, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        int red = 0;
        for (int y = 0; y < client.bottom; ++y) {
            for (int x = 0; x < client.right; ++x) {
                red += GetPixel(dc, x, y) == RGB(255, 0, 0) ? 1 : 0;
            }
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(box, screen);
        EXPECT_EQ(red * 2 > client.right * client.bottom, tip != nullptr) << red;
        EXPECT_EQ(red == 0, tip == nullptr) << red;

        wchar_t text[128] = L"?";
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = window_->window();
        tool.uId = reinterpret_cast<UINT_PTR>(box);
        tool.lpszText = text;
        SendMessageW(window_->lamp_tips(), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(wide_to_utf8(text), tip == nullptr ? clear_tip(lamp) : tip);
    };
    for (ControlId lamp : kVoltageLamps) {
        expect_drawn(lamp, nullptr);  // before any poll too
    }
    start_without_ticks();
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.lamp));
        sim_.set_rail(c.rail, c.millivolts);
        tick();
        for (ControlId lamp : kVoltageLamps) {
            EXPECT_EQ(checked(lamp), lamp == c.lamp ? 1 : 0);
            expect_drawn(lamp, lamp == c.lamp ? c.tip : nullptr);
        }
        sim_.clear_rails();
        tick();
        EXPECT_EQ(IsDlgButtonChecked(window_->window(), static_cast<int>(c.lamp)), BST_CHECKED)
            << "latched";
        click(ControlId::kResetButton);
        EXPECT_EQ(checked(c.lamp), 0);
        expect_drawn(c.lamp, nullptr);
    }
}

TEST_F(Win32PollingTest, GetAndSendKeyCarryTextAsUtf8) {
    const HWND field = window_->control(ControlId::kKeyField);
    for (int i = 0; i < 120; ++i) {
        SendMessageW(field, WM_CHAR, L'k', 0);
    }
    EXPECT_EQ(text(ControlId::kKeyField), std::string(99, 'k')) << "the field takes 99";
    const std::string key = "M\xC3\xBCller-7310";  // "Müller-7310"
    SetWindowTextW(window_->control(ControlId::kKeyField), L"M\u00FCller-7310");
    click(ControlId::kSendKeyButton);
    EXPECT_EQ(sim_.key(), key);
    click(ControlId::kGetButton);
    EXPECT_EQ(text(ControlId::kIdentificationPane), identification_pane_text(readings_));
    EXPECT_NE(text(ControlId::kIdentificationPane).find(key), std::string::npos);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(Win32PollingTest, LogFileIsCreatedUnderItsUnicodeName) {
    SendMessageW(window_->control(ControlId::kLogCheckBox), BM_SETCHECK, BST_CHECKED, 0);
    SetWindowTextW(window_->control(ControlId::kLogFileField),
                   (folder_ + L"\\M\u00FCller.log").c_str());
    start_without_ticks();
    EXPECT_TRUE(messages_.empty());
    EXPECT_NE(GetFileAttributesW((folder_ + L"\\M\u00FCller.log").c_str()),
              INVALID_FILE_ATTRIBUTES);

    click(ControlId::kStopButton);
    const std::string missing = wide_to_utf8(folder_ + L"\\missing\\run.log");
    set_text(ControlId::kLogFileField, missing);
    start_without_ticks();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], std::string(window_texts::kCannotOpenLog) + "\n" + missing +
                                ": No such file or directory");
}

}  // namespace
