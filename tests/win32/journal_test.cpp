// The Win32 journal window: opened from the system menu and Ctrl+J, drawing
// the journal file newest first in its list view, following the monitor's
// new events and filtering by kind; and an event's marker in the GDI charts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/wide_text.h"
#include "win32/journal_window.h"
#include "win32/trends_drawing.h"
#include "window_fixture.h"

namespace {

constexpr double kT0 = 1796868847;  // 2026-12-10 02:14:07 UTC

JournalEvent event(double time, JournalKind kind, const char* text) {
    JournalEvent e;
    e.time = time;
    e.utc_offset_s = 3600;
    e.address = "10.0.0.5";
    e.serial = "A123";
    e.kind = kind;
    e.text = text;
    return e;
}

// The row's texts as the list view draws them, joined by " | ".
std::string row_text(HWND list, int row) {
    std::string text;
    for (int c = 0; c < JournalView::kColumnCount; ++c) {
        wchar_t cell[256] = {};
        LVITEMW item{};
        item.iSubItem = c;
        item.pszText = cell;
        item.cchTextMax = 256;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        text += (c == 0 ? "" : " | ") + wide_to_utf8(cell);
    }
    return text;
}

int rows(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

using Win32JournalTest = Win32WindowTest;

TEST_F(Win32JournalTest, DrawsTheFileNewestFirstFollowsANewEventAndFiltersByKind) {
    const std::string path = wide_to_utf8(folder_ + L"\\journal.jsonl");
    {
        JournalWriter writer(path);
        ASSERT_TRUE(writer.append(event(kT0, JournalKind::kStart, "Start 10.0.0.5")));
        ASSERT_TRUE(writer.append(event(kT0 + 30, JournalKind::kNoAnswer, "no answer: timeout")));
    }
    CTarvikDlg& window = open_window();
    window.set_journal(path);
    HMENU menu = GetSystemMenu(window.window(), FALSE);
    wchar_t item[64];
    ASSERT_GT(GetMenuStringW(menu, kJournalCommand, item, 64, MF_BYCOMMAND), 0);
    EXPECT_EQ(std::wstring(item), L"&Journal...\tCtrl+J");
    SendMessageW(window.window(), WM_SYSCOMMAND, kJournalCommand, 0);
    ASSERT_NE(window.journal_window(), nullptr);
    JournalWindow& journal = *window.journal_window();
    EXPECT_TRUE(IsWindowVisible(journal.window()));
    HWND list = journal.list();
    ASSERT_EQ(rows(list), 2);
    EXPECT_EQ(row_text(list, 0),
              "10.12.2026 03:14:37 | 10.0.0.5 (A123) | No answer | no answer: timeout");
    EXPECT_EQ(row_text(list, 1), "10.12.2026 03:14:07 | 10.0.0.5 (A123) | Start | Start 10.0.0.5");

    SendMessageW(journal.window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(journal.window())) << "closing hides it";
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    press_key(ControlId::kAddressBox, 'J');
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_TRUE(IsWindowVisible(journal.window())) << "Ctrl+J shows it again";

    // Start against the simulator: the monitor's event is the new top row.
    point_at_simulator();
    click(ControlId::kStartButton);
    ASSERT_EQ(rows(list), 3);
    EXPECT_NE(row_text(list, 0).find(" | Start | "), std::string::npos) << row_text(list, 0);

    SendMessageW(journal.kind_box(), CB_SETCURSEL,
                 static_cast<WPARAM>(1 + static_cast<int>(JournalKind::kNoAnswer)), 0);
    SendMessageW(journal.window(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(journal.kind_box()));
    ASSERT_EQ(rows(list), 1);
    EXPECT_EQ(row_text(list, 0),
              "10.12.2026 03:14:37 | 10.0.0.5 (A123) | No answer | no answer: timeout");
}

TEST(Win32JournalMarkers, AnEventInViewIsALineAcrossThePlotInTheMarkersColour) {
    ReadingHistory history;
    DeviceReadings r;
    for (int i = 0; i <= 100; ++i) {
        history.add(kT0 + i, r, true);
    }
    const std::vector<charts::ChartMarker> markers = {{kT0 + 50, "Reset: cleared U +12V"}};
    charts::PlanRequest request;
    request.span = 0;
    request.markers = &markers;
    const charts::PageLayout page = charts::lay_out_page(900, 1400);
    const charts::TrendPlan plan = charts::plan_page(history, request, page);
    PageBitmap bitmap(page.width, page.height);
    ASSERT_NE(bitmap.pixels, nullptr);
    render_trends(plan, page, bitmap);
    const auto marker_at = [&](double x, double y) {
        const int px = static_cast<int>(x);
        for (int dx = -1; dx <= 1; ++dx) {
            if ((bitmap.pixels[static_cast<int>(y) * bitmap.width + px + dx] & 0xFFFFFF) ==
                charts::kMarkerColor) {
                return true;
            }
        }
        return false;
    };
    for (const charts::PlotBox& box : page.plots) {
        const double y = box.top + box.height / 3;
        EXPECT_TRUE(marker_at(charts::x_at(plan, box, kT0 + 50), y));
        EXPECT_FALSE(marker_at(charts::x_at(plan, box, kT0 + 20), y));
    }
}

}  // namespace
