// The dialogs as Windows made them from the tables: every control where the
// table puts it, in dialog units, the tab order, the captions, the font;
// and the About box from the system menu.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "process/wide_text.h"
#include "res/dialog_templates.h"
#include "win32/about_dlg.h"
#include "win32/dialog_memory.h"
#include "win32/program_name.h"
#include "window_fixture.h"
#include "window_texts.h"

namespace {

using dialog_template::ControlKind;

std::string window_text(HWND window) {
    wchar_t text[256];
    return wide_to_utf8(std::wstring(text, GetWindowTextW(window, text, 256)));
}

// How wide `control`'s text is drawn in the dialog's font, in pixels.
int text_width(HWND dialog, HWND control) {
    wchar_t text[256];
    const int length = GetWindowTextW(control, text, 256);
    HDC dc = GetDC(dialog);
    const HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, length, &extent);
    SelectObject(dc, before);
    ReleaseDC(dialog, dc);
    return extent.cx;
}

class DialogTest : public Win32WindowTest {
protected:
    void SetUp() override {
        Win32WindowTest::SetUp();
        open_window();
    }
};

TEST_F(DialogTest, ControlsStandWhereTheTableSaysInTemplateAndTabOrder) {
    HWND dialog = window_->window();
    EXPECT_EQ(window_text(dialog), "Tarvik v7310QX-2");
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(wide_to_utf8(font.lfFaceName), "MS Shell Dlg");
    EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_MINIMIZEBOX);

    std::vector<HWND> tab_stops;
    std::vector<HWND> statics;
    std::vector<HWND> others;
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const auto& c : dialog_template::kMainControls) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(child, nullptr) << "one window per table entry, in table order";
        EXPECT_EQ(GetDlgCtrlID(child), c.id);
        // Position and size are each converted from dialog units.
        RECT expected{c.x, c.y, c.width, c.height};
        MapDialogRect(dialog, &expected);
        RECT shown;
        GetWindowRect(child, &shown);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&shown), 2);
        EXPECT_EQ(shown.left, expected.left);
        EXPECT_EQ(shown.top, expected.top);
        if (c.kind == ControlKind::kStaticText) {
            // A static text grows to the right to show its whole text on its
            // one line when the font is wider than the template allowed for.
            EXPECT_GE(shown.right - shown.left, expected.right);
            EXPECT_GE(shown.right - shown.left, text_width(dialog, child));
            statics.push_back(child);
        } else {
            EXPECT_EQ(shown.right - shown.left, expected.right);
            others.push_back(child);
        }
        if (c.kind != ControlKind::kDropDownCombo) {  // shown closed, shorter than its list
            EXPECT_EQ(shown.bottom - shown.top, expected.bottom);
        }
        if (c.caption != nullptr) {
            EXPECT_EQ(window_text(child), c.caption);
        }
        if (GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) {
            tab_stops.push_back(child);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    // After the table's controls, the status line, below them all.
    EXPECT_EQ(child, window_->status_line());
    RECT status;
    GetWindowRect(window_->status_line(), &status);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&status), 2);
    RECT table{0, 0, 0, dialog_template::kMainDialog.height};
    MapDialogRect(dialog, &table);
    EXPECT_GE(status.top, table.bottom);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_LE(status.bottom, client.bottom);
    EXPECT_EQ(GetWindow(child, GW_HWNDNEXT), nullptr);
    // Grown or not, a static text covers no control beside it.
    for (HWND label : statics) {
        RECT own, other, both;
        GetWindowRect(label, &own);
        for (HWND control : others) {
            GetWindowRect(control, &other);
            const bool framed =
                (GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX &&
                IntersectRect(&both, &own, &other) && EqualRect(&both, &own);
            EXPECT_TRUE(framed || !IntersectRect(&both, &own, &other))
                << window_text(label) << " covers " << GetDlgCtrlID(control);
        }
    }
    size_t with_id = 0;  // all but the static texts and group boxes are tab stops
    for (const auto& c : dialog_template::kMainControls) {
        with_id += c.id != dialog_template::kNoId ? 1 : 0;
    }
    ASSERT_EQ(tab_stops.size(), with_id);
    for (size_t i = 0; i < tab_stops.size(); ++i) {
        EXPECT_EQ(GetNextDlgTabItem(dialog, tab_stops[i], FALSE),
                  tab_stops[(i + 1) % tab_stops.size()]);
    }
}

TEST_F(DialogTest, TheSystemMenusAboutItemOpensTheAboutBoxOverTheDisabledWindow) {
    HWND dialog = window_->window();
    HMENU menu = GetSystemMenu(dialog, FALSE);
    const int count = GetMenuItemCount(menu);
    wchar_t item[64];
    ASSERT_GT(GetMenuStringW(menu, kAboutCommand, item, 64, MF_BYCOMMAND), 0);
    EXPECT_EQ(wide_to_utf8(item), window_texts::kAboutItem);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), kAboutCommand);
    EXPECT_EQ(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);
    ASSERT_GT(GetMenuStringW(window_->tray_menu(), kAboutCommand, item, 64, MF_BYCOMMAND), 0);
    EXPECT_EQ(wide_to_utf8(item), window_texts::kAboutItem);

    // The box runs its own loop: a timer looks at it from inside and ends it.
    static struct Seen {
        HWND main;
        HWND owner;
        std::string text;
        std::string version;
        bool owner_disabled = false;
        bool centred = false;
        bool icon = false;
    } seen;
    seen = Seen{dialog, nullptr, {}, {}, false, false, false};
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND box = FindWindowW(L"#32770", L"About Tarvik v7310QX-2");
        if (box == nullptr) {
            return;
        }
        KillTimer(nullptr, timer);
        seen.owner = GetWindow(box, GW_OWNER);
        RECT over, own;
        GetWindowRect(seen.main, &over);
        GetWindowRect(box, &own);
        seen.centred = std::abs((over.left + over.right) - (own.left + own.right)) <= 1 &&
                       std::abs((over.top + over.bottom) - (own.top + own.bottom)) <= 1;
        HWND icon = GetWindow(box, GW_CHILD);
        seen.icon = SendMessageW(icon, STM_GETICON, 0, 0) != 0;
        seen.text = window_text(GetWindow(icon, GW_HWNDNEXT));
        seen.version = window_text(GetDlgItem(box, kAboutVersionId));
        seen.owner_disabled = !IsWindowEnabled(seen.main);
        SendMessageW(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageW(dialog, WM_SYSCOMMAND, kAboutCommand, 0);
    pump();  // the box opens from the window's loop
    EXPECT_EQ(seen.owner, dialog);
    EXPECT_TRUE(seen.centred);
    EXPECT_EQ(seen.text, "Tarvik Version 7310QX-2");
    EXPECT_EQ(seen.version, "Version " TARVIK_TEST_VERSION);
    EXPECT_TRUE(seen.icon);
    EXPECT_TRUE(seen.owner_disabled);
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_FALSE(window_->closed());
}

// The real box: a warning with an OK button, captioned with the program's
// name, over the window, and the poll timer still ticking while it is open.
TEST_F(DialogTest, TheWarningBoxIsOwnedByTheWindowAndPollsGoOnWhileItIsOpen) {
    window_->set_message_box_hook(nullptr);
    SendMessageW(window_->control(ControlId::kLogCheckBox), BM_SETCHECK, BST_CHECKED, 0);
    const std::string missing = wide_to_utf8(folder_ + L"\\missing\\run.log");
    set_text(ControlId::kLogFileField, missing);
    set_text(ControlId::kIntervalField, "20");
    point_at_simulator();

    // The box runs its own loop: a timer of the thread looks at it from
    // inside, and ends it once ten more requests came or five seconds passed.
    static struct Seen {
        SimulatedTransceiver* sim;
        HWND main;
        DWORD until;
        HWND box;
        HWND owner;
        std::string title;
        std::string text;
        bool icon;
        bool ok_only;
        uint64_t opened_at;
        bool polled_inside;
        bool done;
    } seen;
    seen = Seen{&sim_,
                window_->window(),
                GetTickCount() + 5000,
                nullptr,
                nullptr,
                {},
                {},
                false,
                false,
                0,
                false,
                false};
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
        if (seen.box == nullptr) {
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND window, LPARAM) {
                    wchar_t name[16];
                    GetClassNameW(window, name, 16);
                    if (std::wstring(name) == L"#32770" && window != seen.main) {
                        seen.box = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                0);
            if (seen.box != nullptr) {
                seen.owner = GetWindow(seen.box, GW_OWNER);
                seen.title = window_text(seen.box);
                seen.text = window_text(GetDlgItem(seen.box, 0xFFFF));  // the box's text
                for (HWND child = GetWindow(seen.box, GW_CHILD); child != nullptr;
                     child = GetWindow(child, GW_HWNDNEXT)) {
                    seen.icon = seen.icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
                }
                seen.ok_only = GetDlgItem(seen.box, IDOK) != nullptr &&
                               GetDlgItem(seen.box, IDCANCEL) == nullptr;
                seen.opened_at = seen.sim->requests_received();
            }
        }
        seen.polled_inside =
            seen.box != nullptr && seen.sim->requests_received() >= seen.opened_at + 10;
        if (seen.polled_inside || GetTickCount() > seen.until) {
            KillTimer(nullptr, timer);
            seen.done = true;
            if (seen.box != nullptr) {
                SendMessageW(seen.box, WM_COMMAND, IDOK, 0);
            }
        }
    });
    // The box opens from the window's loop once Start is through. One
    // message at a time, until the timer is done: at this interval ticks
    // would keep the queue from ever running empty until Stop.
    SendMessageW(window_->control(ControlId::kStartButton), BM_CLICK, 0, 0);
    while (!seen.done && GetTickCount() < seen.until + 1000) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            window_->dispatch(message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    SendMessageW(window_->control(ControlId::kStopButton), BM_CLICK, 0, 0);

    ASSERT_NE(seen.box, nullptr);
    EXPECT_EQ(seen.owner, seen.main);
    EXPECT_EQ(seen.title, wide_to_utf8(program_name()));
    EXPECT_EQ(seen.text, std::string(window_texts::kCannotOpenLog) + "\n" + missing +
                             ": No such file or directory");
    EXPECT_TRUE(seen.icon);
    EXPECT_TRUE(seen.ok_only);
    EXPECT_TRUE(seen.polled_inside);
    EXPECT_FALSE(IsWindow(seen.box));
}

// The pixels of the first two text lines of a multi-line edit, as drawn
// now: each band one line high, from the top of its formatting rectangle.
struct LineBands {
    std::vector<COLORREF> first;
    std::vector<COLORREF> second;
};
LineBands line_bands(HWND edit) {
    RECT format{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    HDC dc = GetDC(edit);
    HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, before);
    LineBands bands;
    for (int line = 0; line < 2; ++line) {
        std::vector<COLORREF>& band = line == 0 ? bands.first : bands.second;
        for (int y = 0; y < metrics.tmHeight; ++y) {
            for (int x = format.left; x < format.right; ++x) {
                band.push_back(GetPixel(dc, x, format.top + line * metrics.tmHeight + y));
            }
        }
    }
    ReleaseDC(edit, dc);
    return bands;
}

// Whether a band holds one colour only: no text drawn in it.
bool blank(const std::vector<COLORREF>& band) {
    return std::all_of(band.begin(), band.end(), [&](COLORREF c) { return c == band[0]; });
}

// The link pane holds three lines in the room of two. Replacing its text
// must not leave the first line drawn as a copy of the second, not even
// before the next paint (a screen capture can fall there).
TEST_F(DialogTest, TheLinkPanesFirstLineIsNeverACopyOfTheSecond) {
    HWND pane = window_->control(ControlId::kLinkPane);
    ASSERT_NE(pane, nullptr);
    draw_pane(ControlId::kLinkPane, "UpLink\t=80Mbps\r\nDownLink=350Mbps\r\n ");
    pump();
    UpdateWindow(window_->window());
    const LineBands drawn = line_bands(pane);
    ASSERT_NE(drawn.first, drawn.second) << "the two lines differ once painted";
    for (int i = 0; i < 5; ++i) {
        draw_pane(ControlId::kLinkPane,
                  "UpLink\t=" + std::to_string(100 + i) + "Mbps\r\nDownLink=350Mbps\r\n ");
        const LineBands now = line_bands(pane);
        EXPECT_FALSE(blank(now.first)) << "before the paint, after text " << i;
        EXPECT_NE(now.first, now.second) << "before the paint, after text " << i;
        pump();
        UpdateWindow(window_->window());
        EXPECT_NE(line_bands(pane).first, line_bands(pane).second) << "painted, text " << i;
    }
}

}  // namespace
