// The trends window: stacked charts over one time axis (temperatures, one
// per supply rail, the receiver, link rates, packet rates, errors), one
// quantity an axis, drawn from a ReadingHistory as the chart plan
// (charts/chart_plan.h) lays them out; the window only draws the plan and
// handles the mouse, the buttons and loading a log.
//
// It is a separate, modeless window: the console goes on polling while it
// is open. Each chart series is refilled with `replace()` from the
// history's extraction for the chart's pixel width, so what a chart holds
// stays bounded however long the console runs. A failed poll is a gap: the
// line is broken there, drawn as separate pieces of one series.
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "charts/chart_plan.h"
#include "charts/reading_history.h"
#include "logbook/log_reader.h"

class QChart;
class QChartView;
class QComboBox;
class QLineSeries;
class QProgressDialog;
class QPushButton;
class QScrollArea;
class QTimer;
class QValueAxis;
class QualityChartView;
class ChartMarkerLayer;

class TrendsWindow : public QWidget {
    Q_OBJECT

public:
    // The time windows the operator picks from; kAll shows all that is held.
    enum class Span { kFiveMinutes, kOneHour, kOneDay, kAll };

    explicit TrendsWindow(QWidget* parent = nullptr);
    ~TrendsWindow() override;

    // Shows `history`, which the caller keeps alive as long as the window;
    // `source` names it in the title. It is the live history: after a log
    // was opened, "Live" goes back to it.
    // `quality`, when not null, is the live error performance the window's
    // last chart shows beside it, read on every refresh like the history.
    void show_history(const ReadingHistory* history, const QString& source,
                      const ErrorPerformance* quality = nullptr);
    // Goes back to the live history from a log; false when there is none.
    bool show_live();
    // "Live", shown while a log is shown in place of a live history.
    QPushButton* live_button() const { return live_button_; }
    // Shows a history the window keeps, such as one read from a log.
    // `quality`: the bins of its error performance chart.
    // `markers`: the journal's events that belong with it.
    void take_history(std::unique_ptr<ReadingHistory> history, const QString& source,
                      std::vector<charts::QualityBar> quality = {},
                      std::vector<charts::ChartMarker> markers = {});
    // The events marked on the live history's time axis: all of them, and
    // then each new one (drawn at the next refresh).
    void set_live_markers(std::vector<charts::ChartMarker> markers);
    void add_live_marker(charts::ChartMarker marker);
    // The markers drawn on the chart `chart` (an index in kChartSpecs) now:
    // their pixel columns across its plot area.
    std::vector<int> marker_columns(int chart) const;
    // The error performance chart at the bottom.
    QualityChartView* quality_view() const { return quality_view_; }
    // Draws the charts again from the history, after a new poll. Charts
    // scrolled out of sight are drawn once they come into sight.
    void refresh();

    // Starts reading a log file into a history of the window's own, on a
    // thread of its own, with a progress dialog whose Cancel stops it; the
    // console goes on polling meanwhile. When it is read it is shown, and
    // log_load_finished() is emitted either way. False, and nothing
    // started, when the file is refused at once (missing, or not a regular
    // file such as a FIFO or a device); `refusal` then says why.
    bool start_log_load(const QString& path, LogLoad* refusal = nullptr);
    // The journal whose events a log opened from now on is marked with; ""
    // (the start): none.
    void set_journal(const std::string& path) { journal_ = path; }
    bool loading() const { return load_ != nullptr; }
    // Stops the load under way; what was shown stays.
    void cancel_load();
    // What the last finished or refused load came to.
    const LogLoad& last_load() const { return last_load_; }
    // Starts a load and runs the event loop until it is finished: true when
    // the log was read and is shown; false (and nothing changed) when it was
    // refused or cancelled.
    bool open_log(const QString& path, LogLoad* load = nullptr);
    // Saves the charts, as they are drawn, as a PNG image.
    bool save_png(const QString& path);
    // Saves the charts over [from, to] (seconds since the epoch) as a PNG
    // image of exactly `size` pixels: every chart takes its share of the
    // height, whatever the screen's least heights and the scroll area.
    bool save_png(const QString& path, QSize size, double from, double to);

    void set_span(Span span);
    // The widget that holds the charts (what save_png grabs).
    QWidget* charts_widget() const { return charts_; }
    // The points the chart now draws for `series`, one list per piece
    // between gaps, in time order (x in milliseconds since the epoch); of a
    // chart out of sight, what it held when it was last in sight.
    std::vector<QList<QPointF>> drawn(Series series) const;

    // The time shown, in seconds since the epoch.
    double view_from() const { return view_from_; }
    double view_to() const { return view_to_; }
    // Shows [from, to] until another time window is chosen (or a double
    // click), as the mouse wheel and dragging do.
    void set_view(double from, double to);
    // Narrows (factor < 1) or widens the time shown around `around`.
    void zoom(double factor, double around);
    // What the hover cursor shows at `seconds`: the nearest poll's time and
    // each shown series' value in it.
    QString cursor_text(double seconds) const;

signals:
    void log_load_finished();

protected:
    // The charts are drawn again for their new width.
    void resizeEvent(QResizeEvent* event) override;
    // The charts' mouse: the wheel zooms, a drag pans, hovering shows the
    // values under the cursor, a double click goes back to the time window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Trace;
    struct Chart;
    struct Load;

    // `resolution`: the step of the history's time stamps, in seconds.
    void use_history(const ReadingHistory* history, const QString& source, double resolution);
    void build_charts();
    void align_plot_areas();
    double time_at(const Chart& chart, const QPoint& pos) const;
    bool in_plot_area(const Chart& chart, const QPoint& pos) const;
    void setup_connections();
    // The log's progress dialog and its timer (trends_files.cpp).
    void build_progress();
    void show_load_progress();
    void on_save_clicked();
    void on_open_clicked();
    void open_chosen_log(const QString& path);
    // A warning or an information box over the window, not waited for.
    void show_note(bool warning, const QString& text);
    void on_span_changed(int index);
    void on_log_load_finished();
    void finish_load(uint64_t number);
    void draw_empty();
    void update_title();
    // Refills the trace's pieces with the plan's runs; a piece whose points
    // did not change is left alone.
    void draw_trace(Trace& trace, const std::vector<std::vector<ChartPoint>>& runs);
    QLineSeries* add_piece(Trace& trace);
    void add_limits(Trace& trace);
    // Shows or hides a rail's lamp limits, bold when the rail crossed them.
    void update_limits(Trace& trace);
    // The chart's time axis: the view, ticks at `at` (milliseconds) with
    // their labels.
    void set_time_ticks(Chart& chart, const QStringList& labels, const QList<double>& at);
    // Plans and draws the charts in sight, or `everything`; the others are
    // left stale until they come into sight.
    void draw(bool everything);
    // The error performance chart over the time shown.
    void draw_quality();
    bool in_sight(const Chart& chart) const;
    // Draws one chart from plan_.
    void draw_chart(Chart& chart, const charts::ChartPlan& plan, const QStringList& labels,
                    const QList<double>& at);
    // Draws the stale charts that scrolling brought into sight.
    void on_charts_scrolled();

    const ReadingHistory* history_ = nullptr;
    std::unique_ptr<ReadingHistory> own_history_;
    QString source_;
    double resolution_ = 0;
    bool zoomed_ = false;
    charts::TrendPlan plan_;  // what is drawn now
    double view_from_ = 0;
    double view_to_ = 0;
    int view_columns_ = 0;
    bool dragging_ = false;
    double drag_x_ = 0;
    double drag_from_ = 0;
    double drag_to_ = 0;
    Span span_ = Span::kOneHour;
    std::vector<Chart> charts_list_;
    std::vector<Trace> traces_;
    QWidget* charts_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QComboBox* span_box_ = nullptr;
    QPushButton* save_button_ = nullptr;
    QPushButton* open_button_ = nullptr;
    QPushButton* live_button_ = nullptr;
    const ReadingHistory* live_history_ = nullptr;
    const ErrorPerformance* live_quality_ = nullptr;
    std::vector<charts::QualityBar> log_quality_;   // of the log shown in place of the live history
    std::vector<charts::ChartMarker> log_markers_;  // of that log
    std::vector<charts::ChartMarker> live_markers_;
    std::string journal_;
    QualityChartView* quality_view_ = nullptr;
    QString live_source_;
    std::shared_ptr<Load> load_;  // shared: Load is complete only in trends_files.cpp
    uint64_t loads_started_ = 0;
    LogLoad last_load_;
    QProgressDialog* progress_ = nullptr;
    QTimer* progress_timer_ = nullptr;
    bool report_load_ = false;  // the operator opened it: problems are shown
};
