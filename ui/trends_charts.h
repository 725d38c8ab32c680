// What the trends window's files share (trends_window.cpp, trends_charts.cpp,
// trends_mouse.cpp): a chart of the window, one trace's series on it, and
// the time windows offered. Not for the window's callers.
#pragma once

#include <QColor>
#include <utility>
#include <vector>

#include "charts/chart_plan.h"
#include "ui/trends_window.h"

class QCategoryAxis;

namespace trends {

struct SpanChoice {
    const char* text;
    TrendsWindow::Span span;
    double seconds;  // 0: everything held
};
constexpr SpanChoice kSpans[] = {
    {"5 min", TrendsWindow::Span::kFiveMinutes, 5 * 60.0},
    {"1 h", TrendsWindow::Span::kOneHour, 3600.0},
    {"24 h", TrendsWindow::Span::kOneDay, 24 * 3600.0},
    {"all", TrendsWindow::Span::kAll, 0},
};

// A column of up to four points is two pixels wide: as fine as the eye
// follows a line, and half the points Qt Charts lays out (and strokes) per
// series.
constexpr int kPixelsPerColumn = 2;

}  // namespace trends

struct TrendsWindow::Trace {
    int index;  // in charts::kTraceSpecs
    charts::TraceSpec plan;
    QColor color;
    bool shown = true;
    std::vector<QLineSeries*> pieces;  // one per run of points between gaps
    // A rail's lamp limits, as dashed lines within its axis, while it has
    // values in view; bold while it is out of them in the time shown.
    std::vector<std::pair<QLineSeries*, double>> limits;
    bool out_of_limits = false;
    bool has_points = false;  // any value in the time shown
};

struct TrendsWindow::Chart {
    QChart* chart = nullptr;
    QChartView* view = nullptr;
    QCategoryAxis* time_axis = nullptr;  // ticks at round times, set by refresh()
    QValueAxis* left = nullptr;
    QValueAxis* right = nullptr;
    ChartMarkerLayer* markers = nullptr;
    // Out of sight when the charts were last drawn: drawn once it comes
    // into sight.
    bool stale = false;
};
