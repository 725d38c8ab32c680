// The Win32 trends: the GDI drawing probed pixel by pixel, the window opened
// from the system menu and Ctrl+T, a log read off the window's thread, and
// the charts saved as PNG through WIC.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "logbook/measurement_log.h"
#include "process/wide_text.h"
#include "win32/trends_drawing.h"
#include "win32/trends_window.h"
#include "window_fixture.h"

namespace {

constexpr std::time_t kLogStart = 1796812857;
// The +12 V rail's plateau: three polls at 14.5 V between 12 V ones.
const std::vector<double> kPlateau = {12, 12, 12, 14.5, 14.5, 14.5, 12, 12, 12};

std::unique_ptr<ReadingHistory> plateau_history() {
    auto history = std::make_unique<ReadingHistory>();
    DeviceReadings r;
    r.family_rate_mbps = kFamily350;
    for (std::size_t i = 0; i < kPlateau.size(); ++i) {
        r.supply_12v = static_cast<int32_t>(std::lround(kPlateau[i] * 1000));
        history->add(static_cast<double>(kLogStart) + static_cast<double>(i), r, true);
    }
    return history;
}

// Whether the trace's colour is within a pixel of (x, y).
bool drawn_near(const PageBitmap& bitmap, double x, double y, DWORD rgb) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = static_cast<int>(std::lround(x)) + dx;
            const int py = static_cast<int>(std::lround(y)) + dy;
            if (px >= 0 && py >= 0 && px < bitmap.width && py < bitmap.height &&
                (bitmap.pixels[py * bitmap.width + px] & 0xFFFFFF) == rgb) {
                return true;
            }
        }
    }
    return false;
}

TEST(Win32TrendsDrawing, APlateauDrawsAsOneRunAtItsPollsAndNoSecondSpike) {
    const auto history = plateau_history();
    charts::PlanRequest request;
    request.span = 0;
    const charts::PageLayout page = charts::lay_out_page(900, 1400);
    const charts::TrendPlan plan = charts::plan_page(*history, request, page);
    PageBitmap bitmap(page.width, page.height);
    ASSERT_NE(bitmap.pixels, nullptr);
    render_trends(plan, page, bitmap);

    const int rail = charts::kFirstRailChart + 1;  // U +12V
    const charts::PlotBox& box = page.plots[rail];
    const charts::ValueScale& scale = plan.charts[rail].left.scale;
    const DWORD blue = charts::trace_color(4);
    ASSERT_EQ(charts::kTraceSpecs[4].series, Series::kSupply12V);
    const double high = charts::y_at(scale, box, 14.5);
    const double low = charts::y_at(scale, box, 12);
    const struct {
        const char* what;
        double seconds;
        double y;
        bool drawn;
    } probes[] = {
        {"plateau's first poll", 3, high, true},
        {"between plateau polls", 3.5, high, true},
        {"plateau's middle poll", 4, high, true},
        {"between plateau polls", 4.5, high, true},
        {"plateau's last poll", 5, high, true},
        {"the poll after, at 12 V", 6, low, true},
        {"no spike after the plateau", 7, high, false},
        {"no spike after the plateau", 7.5, high, false},
        {"the last poll, at 12 V", 8, low, true},
        {"no spike before the plateau", 1, high, false},
    };
    for (const auto& p : probes) {
        const double x = charts::x_at(plan, box, static_cast<double>(kLogStart) + p.seconds);
        EXPECT_EQ(drawn_near(bitmap, x, p.y, blue), p.drawn) << p.what << " at " << p.seconds;
    }
}

class Win32TrendsTest : public Win32WindowTest {};

TEST_F(Win32TrendsTest, AClickOnALegendEntryHidesItsSeriesAndAnotherShowsItAgain) {
    TrendsWindow trends;
    ASSERT_TRUE(trends.create());
    trends.set_span(TrendsWindow::Span::kAll);
    trends.take_history(plateau_history(), "plateau");
    const int trace = 4;  // U +12V, alone in its chart
    const charts::PlotBox box = trends.page().plots[charts::kTraceSpecs[trace].chart];
    const DWORD blue = charts::trace_color(trace);
    // The series' pixels in its plot, as the window draws its plan now.
    const auto pixels = [&] {
        PageBitmap bitmap(trends.page().width, trends.page().height);
        render_trends(trends.plan(), trends.page(), bitmap);
        int count = 0;
        for (int y = static_cast<int>(box.top); y < box.top + box.height; ++y) {
            for (int x = static_cast<int>(box.left); x < box.left + box.width; ++x) {
                count += (bitmap.pixels[y * bitmap.width + x] & 0xFFFFFF) == blue ? 1 : 0;
            }
        }
        return count;
    };
    const auto click_entry = [&] {
        for (const charts::LegendEntry& e : charts::legend_entries(trends.plan(), trends.page())) {
            if (e.trace == trace) {
                const LPARAM at = MAKELPARAM(static_cast<int>(e.x) + 30,
                                             static_cast<int>(e.y) + trends.bar_height());
                SendMessageW(trends.window(), WM_LBUTTONDOWN, MK_LBUTTON, at);
                SendMessageW(trends.window(), WM_LBUTTONUP, 0, at);
                return true;
            }
        }
        return false;
    };
    const int shown = pixels();
    EXPECT_GT(shown, 0);
    ASSERT_TRUE(click_entry());
    EXPECT_EQ(pixels(), 0) << "hidden";
    ASSERT_TRUE(click_entry()) << "a hidden series keeps its entry";
    EXPECT_EQ(pixels(), shown) << "shown again";
}

TEST_F(Win32TrendsTest, TheErrorPerformanceChartStacksTheBinsInViewInTheirColours) {
    // The plateau's quarter hour with ES, SES and unknown time, then one
    // unavailable and one unknown.
    const double first = static_cast<double>(kLogStart - kLogStart % 900);
    const std::vector<charts::QualityBar> bins = {{first, 900, 200, 300, 0, 100},
                                                  {first + 900, 900, 0, 0, 900, 0},
                                                  {first + 1800, 900, 0, 0, 0, 450}};
    const struct {
        TrendsWindow::Span span;
        std::size_t bars;
    } cases[] = {{TrendsWindow::Span::kAll, 3}, {TrendsWindow::Span::kFiveMinutes, 1}};
    for (const auto& c : cases) {
        TrendsWindow trends;
        ASSERT_TRUE(trends.create());
        trends.set_span(c.span);
        trends.take_history(plateau_history(), "plateau", bins);
        const QualityChart& chart = trends.quality();
        ASSERT_EQ(chart.plan.bars.size(), c.bars);
        PageBitmap bitmap(trends.page().width, trends.page().height);
        render_trends(trends.plan(), trends.page(), bitmap, &chart);
        for (std::size_t b = 0; b < c.bars; ++b) {
            for (int s = 0; s < charts::kQualitySegmentCount; ++s) {
                const auto segment = static_cast<charts::QualitySegment>(s);
                const charts::BarRect r =
                    charts::quality_bar_rect(chart.plan, chart.box, b, segment);
                if (r.bottom - r.top > 0) {
                    EXPECT_TRUE(drawn_near(bitmap, (r.left + r.right) / 2, (r.top + r.bottom) / 2,
                                           charts::quality_segment_color(segment)))
                        << "bar " << b << " " << charts::quality_segment_name(segment);
                }
            }
        }
    }
}

TEST_F(Win32TrendsTest, TheSystemMenuAndCtrlTOpenTheTrendsOfTheLivePolls) {
    CTarvikDlg& window = open_window();
    HMENU menu = GetSystemMenu(window.window(), FALSE);
    wchar_t item[64];
    ASSERT_GT(GetMenuStringW(menu, kTrendsCommand, item, 64, MF_BYCOMMAND), 0);
    EXPECT_EQ(std::wstring(item), L"&Trends...\tCtrl+T");

    SendMessageW(window.window(), WM_SYSCOMMAND, kTrendsCommand, 0);
    ASSERT_NE(window.trends_window(), nullptr);
    HWND trends = window.trends_window()->window();
    EXPECT_TRUE(IsWindowVisible(trends));
    wchar_t title[64];
    GetWindowTextW(trends, title, 64);
    EXPECT_EQ(std::wstring(title), L"Tarvik trends: live");
    SendMessageW(trends, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(trends)) << "closing hides it";

    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    press_key(ControlId::kAddressBox, 'T');
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_TRUE(IsWindowVisible(trends)) << "Ctrl+T shows it again";

    point_at_simulator();
    set_text(ControlId::kIntervalField, "3600000");
    const auto now = std::make_shared<double>(static_cast<double>(kLogStart));
    window.monitor().set_clock([now] { return *now; });
    click(ControlId::kStartButton);
    *now += 1;
    window.monitor().on_timer(kPollTimerId);
    pump();
    EXPECT_EQ(window.history().polls(), 2u) << "Start's poll and a tick";
    EXPECT_TRUE(window.trends_window()->plan().traces[0].has_points);
    EXPECT_FALSE(window.trends_window()->quality().plan.bars.empty()) << "the monitor's bins";
}

TEST_F(Win32TrendsTest, ALogIsReadOffTheThreadEachTooltipShowsItsRowAndSavesAsPng) {
    const std::string log = wide_to_utf8(folder_) + "\\run.log";
    DeviceReadings r;
    r.family_rate_mbps = kFamily350;
    ASSERT_EQ(write_log_header(log, r), LogWrite::kWritten);
    for (std::size_t i = 0; i < kPlateau.size(); ++i) {
        r.supply_12v = static_cast<int32_t>(std::lround(kPlateau[i] * 1000));
        r.temperature[0] = static_cast<int32_t>(2000 + 10 * i);
        ASSERT_EQ(write_log_line(log, r, true, kLogStart + static_cast<std::time_t>(i)),
                  LogWrite::kWritten);
    }
    TrendsWindow trends;
    ASSERT_TRUE(trends.create());
    trends.set_span(TrendsWindow::Span::kAll);
    trends.show();
    LogLoad load;
    ASSERT_TRUE(trends.open_log(utf8_to_wide(log), &load));
    EXPECT_EQ(load.totals.records, kPlateau.size());
    wchar_t title[64];
    GetWindowTextW(trends.window(), title, 64);
    EXPECT_EQ(std::wstring(title), L"Tarvik trends: run.log");
    EXPECT_EQ(trends.quality().plan.bars.size(), load.quality.size());
    EXPECT_FALSE(load.quality.empty());
    for (std::size_t i = 0; i < kPlateau.size(); ++i) {
        const auto rows = trends.cursor_rows(static_cast<double>(kLogStart) + i);
        char volts[80];
        std::snprintf(volts, sizeof volts, "U +12V: %g V (lamp limits 10.0..14.0 V)", kPlateau[i]);
        char celsius[80];
        std::snprintf(celsius, sizeof celsius, "Temperature Sensor 1: %g deg C", 20 + i / 10.0);
        std::string all;
        for (const std::string& row : rows) {
            all += row + "\n";
        }
        EXPECT_NE(all.find(std::string(volts) + "\n"), std::string::npos) << all;
        EXPECT_NE(all.find(std::string(celsius) + "\n"), std::string::npos) << all;
    }

    // Wheel and drag move the time shown.
    const double length = trends.view_to() - trends.view_from();
    trends.set_view(trends.view_from() - 100, trends.view_to() + 100);
    trends.zoom(0.5, trends.view_from() + 100);
    EXPECT_DOUBLE_EQ(trends.view_to() - trends.view_from(), (length + 200) * 0.5);

    // Names beyond ASCII too: Windows takes them in UTF-16 alone.
    const std::wstring beyond = L"M\u00e4tlogg-\u00f1-\u65e5\u672c";
    ASSERT_TRUE(
        CopyFileW(utf8_to_wide(log).c_str(), (folder_ + L"\\" + beyond + L".tsv").c_str(), FALSE));
    const struct {
        std::wstring log;
        std::wstring png;
    } files[] = {{L"run.log", L"trends.png"}, {beyond + L".tsv", beyond + L".png"}};
    for (const auto& f : files) {
        ASSERT_TRUE(trends.open_log(folder_ + L"\\" + f.log)) << wide_to_utf8(f.log);
        GetWindowTextW(trends.window(), title, 64);
        EXPECT_EQ(std::wstring(title), L"Tarvik trends: " + f.log);
        const std::filesystem::path png(folder_ + L"\\" + f.png);
        std::string error;
        ASSERT_TRUE(trends.save_png(png.wstring(), &error)) << error;
        std::ifstream file(png, std::ios::binary);
        char signature[8] = {};
        file.read(signature, 8);
        EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    }

    EXPECT_FALSE(trends.open_log(folder_ + L"\\missing.log"));
    GetWindowTextW(trends.window(), title, 64);
    EXPECT_EQ(std::wstring(title), L"Tarvik trends: " + files[1].log) << "what was shown stays";
}

}  // namespace
