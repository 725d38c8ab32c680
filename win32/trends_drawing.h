// The trend charts drawn with GDI from the chart plan, on screen or into a
// bitmap, and a bitmap saved as PNG through Windows' own imaging (WIC).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "charts/chart_plan.h"

// Draws `plan` laid out on `page` with its origin at the DC's origin: a
// white page, each chart's title, ticks, labels and frame, a rail's lamp
// limits dashed (thick when crossed), each series as one polyline a run and
// the legend beside each chart.
void draw_trends(HDC dc, const charts::TrendPlan& plan, const charts::PageLayout& page);

// The tooltip's rows in a framed box at (x, y) of the DC, kept within
// `bounds`.
void draw_tooltip(HDC dc, const std::vector<std::string>& rows, int x, int y, const RECT& bounds);

// A top-down 32-bit bitmap of `width` x `height` pixels, and its pixels.
struct PageBitmap {
    HBITMAP bitmap = nullptr;
    DWORD* pixels = nullptr;  // 0x00RRGGBB, row after row from the top
    int width = 0;
    int height = 0;
    PageBitmap(int w, int h);
    ~PageBitmap();
    PageBitmap(const PageBitmap&) = delete;
    PageBitmap& operator=(const PageBitmap&) = delete;
};

// `plan` drawn on `page` into a bitmap of the page's size.
void render_trends(const charts::TrendPlan& plan, const charts::PageLayout& page,
                   PageBitmap& bitmap);

// Writes the bitmap as a PNG file at `path` through WIC; false with the
// reason in `*error` when it cannot.
bool save_png(const PageBitmap& bitmap, const std::wstring& path, std::string* error);

// The charts of `history` over `view` on a page of `width` x `height`
// pixels, saved as a PNG file at `path` (for tarvik --plot --save).
bool save_trends_png(const ReadingHistory& history, const charts::View& view, int width, int height,
                     const std::wstring& path, std::string* error);
