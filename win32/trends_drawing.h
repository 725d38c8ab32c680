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
#include "charts/quality_chart.h"

// The error performance chart below the trend charts: its plan and its
// plot on the page.
struct QualityChart {
    charts::QualityChartPlan plan;
    charts::PlotBox box{0, 0, 0, 0};
};

// A page of `width` x `height` pixels with the trend charts above and, at
// the bottom, a block as high as a full trend chart's for the error
// performance chart, whose plot goes to `*quality`. The layout's height is
// the whole page's.
charts::PageLayout lay_out_quality_page(int width, int height, charts::PlotBox* quality);

// The bars of `bins` that overlap [from, to]; all of them when from >= to.
std::vector<charts::QualityBar> bars_in_view(const std::vector<charts::QualityBar>& bins,
                                             double from, double to);

// Draws `plan` laid out on `page` with its origin at the DC's origin: a
// white page, each chart's title, ticks, labels and frame, a rail's lamp
// limits dashed (thick when crossed), each series as one polyline a run, the
// markers as thin lines across each plot and the legend beside each chart;
// with `quality`, the error performance chart too: its stacked bars in the
// segments' colours, its axis in seconds, time labels and a legend of the
// segments.
void draw_trends(HDC dc, const charts::TrendPlan& plan, const charts::PageLayout& page,
                 const QualityChart* quality = nullptr);

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
                   PageBitmap& bitmap, const QualityChart* quality = nullptr);

// Writes the bitmap as a PNG file at `path` through WIC; false with the
// reason in `*error` when it cannot.
bool save_png(const PageBitmap& bitmap, const std::wstring& path, std::string* error);

// The charts of `history` over `view` on a page of `width` x `height`
// pixels, saved as a PNG file at `path` (for tarvik --plot --save); with
// `quality`, its bins over `view` in the error performance chart below, and
// with `markers`, the journal's events on the time axis.
bool save_trends_png(const ReadingHistory& history, const charts::View& view, int width, int height,
                     const std::wstring& path, std::string* error,
                     const std::vector<charts::QualityBar>* quality = nullptr,
                     const std::vector<charts::ChartMarker>* markers = nullptr);
