// The trends window on Windows: the charts of a ReadingHistory, drawn with
// GDI from the chart plan (charts/chart_plan.h), as the Qt window draws
// them, and below them the error performance chart of 15-minute bins. A bar
// on top: the time window (5 min, 1 h, 24 h, all), Live (back to the
// console's polls after a log), Open log... and Save as PNG.... The wheel
// zooms around the cursor, a drag pans, a double click goes back to the
// time window, hovering shows the nearest poll's values.
//
// A log is read on a thread of its own into a history of its own; the bar
// shows its progress and a Cancel button meanwhile, and the console goes on
// polling. The window only draws and handles input; it owns no rule.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "charts/chart_plan.h"
#include "charts/reading_history.h"
#include "logbook/log_reader.h"
#include "win32/trends_drawing.h"

class ErrorPerformance;

class TrendsWindow {
public:
    enum class Span { kFiveMinutes, kOneHour, kOneDay, kAll };

    TrendsWindow();
    ~TrendsWindow();  // stops a load and destroys the window
    TrendsWindow(const TrendsWindow&) = delete;
    TrendsWindow& operator=(const TrendsWindow&) = delete;

    // Creates the window, hidden. With `quit_on_close` closing it ends the
    // thread's message loop (the window is the program's only one).
    bool create(bool quit_on_close = false);
    void show();
    HWND window() const { return window_; }
    bool closed() const { return closed_; }

    // The live history, which the caller keeps alive as long as the window;
    // `quality`, when not null, the live error performance beside it, read
    // on every refresh as it would stand if the polls ended now.
    void show_history(const ReadingHistory* history, const std::string& source,
                      const ErrorPerformance* quality = nullptr);
    // A history the window keeps, such as one read from a log, and the bins
    // of its error performance.
    // `markers`: the journal's events that belong with it.
    void take_history(std::unique_ptr<ReadingHistory> history, const std::string& source,
                      std::vector<charts::QualityBar> quality = {},
                      std::vector<charts::ChartMarker> markers = {});
    // The events marked on the live history's time axis: all of them, and
    // then each new one (drawn at the next refresh).
    void set_live_markers(std::vector<charts::ChartMarker> markers);
    void add_live_marker(charts::ChartMarker marker);
    // Back to the live history; false when there is none.
    bool show_live();
    // Plans and draws again, after a new poll.
    void refresh();

    // Starts reading the log at `path` off the window's thread; false (and
    // why in `refusal`) when the file is refused at once.
    bool start_log_load(const std::wstring& path, LogLoad* refusal = nullptr);
    // The journal whose events a log opened from now on is marked with; ""
    // (the start): none.
    void set_journal(const std::string& path) { journal_ = path; }
    bool loading() const { return load_ != nullptr; }
    // Stops the load under way; what was shown stays.
    void cancel_load();
    const LogLoad& last_load() const { return last_load_; }
    // Starts a load and runs the thread's messages until it is over: true
    // when the log was read and is shown.
    bool open_log(const std::wstring& path, LogLoad* load = nullptr);

    // The charts as drawn now, saved as PNG through WIC.
    bool save_png(const std::wstring& path, std::string* error);

    void set_span(Span span);
    // Shows [from, to] until another time window is chosen or a double click.
    void set_view(double from, double to);
    void zoom(double factor, double around);
    double view_from() const { return plan_.view.from; }
    double view_to() const { return plan_.view.to; }
    // What is drawn now, and the page it is laid out on (client
    // coordinates below the bar).
    const charts::TrendPlan& plan() const { return plan_; }
    const charts::PageLayout& page() const { return page_; }
    // The error performance chart as drawn now: the bins over the time
    // shown (all of them with "all"), and its plot on the page.
    const QualityChart& quality() const { return quality_; }
    int bar_height() const;
    // The tooltip's rows at `seconds`: the nearest poll's values, then the
    // events marked within a few pixels.
    std::vector<std::string> cursor_rows(double seconds) const;
    // The time at client x, over the plots.
    double time_at(int x) const;

private:
    struct Load;

    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam);
    void make_bar();
    void lay_out();
    void paint();
    void use_history(const ReadingHistory* history, const std::string& source, double resolution);
    void update_title();
    void finish_load(uint64_t number);
    void show_progress(bool loading);
    void on_open_clicked();
    // A warning box over the window with `text` (UTF-8).
    void warn(const std::string& text);
    void on_save_clicked();
    void on_mouse_move(int x, int y);
    int plot_at(int x, int y) const;  // the chart under the point, or -1

    HWND window_ = nullptr;
    HWND span_box_ = nullptr;
    HWND live_button_ = nullptr;
    HWND open_button_ = nullptr;
    HWND save_button_ = nullptr;
    HWND progress_ = nullptr;
    HWND cancel_button_ = nullptr;
    bool quit_on_close_ = false;
    bool closed_ = false;

    const ReadingHistory* history_ = nullptr;
    std::unique_ptr<ReadingHistory> own_history_;
    const ReadingHistory* live_history_ = nullptr;
    const ErrorPerformance* live_quality_ = nullptr;
    std::vector<charts::QualityBar> log_quality_;   // of the history the window keeps
    std::vector<charts::ChartMarker> log_markers_;  // of that history
    std::vector<charts::ChartMarker> live_markers_;
    std::string journal_;
    QualityChart quality_;
    std::string source_;
    std::string live_source_;
    double resolution_ = 0;
    Span span_ = Span::kOneHour;
    bool zoomed_ = false;
    charts::View zoom_;
    std::bitset<charts::kTraceCount> hidden_;
    charts::TrendPlan plan_;
    charts::PageLayout page_{0, 0, {}};

    bool dragging_ = false;
    int drag_x_ = 0;
    charts::View drag_view_;
    bool hovering_ = false;
    POINT hover_{};
    std::vector<std::string> hover_rows_;

    std::shared_ptr<Load> load_;
    uint64_t loads_started_ = 0;
    LogLoad last_load_;
    std::string waiting_note_;  // the note on the log just read, until it is shown
};
