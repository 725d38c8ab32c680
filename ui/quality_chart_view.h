// The trends window's error performance chart: per 15-minute bin a stacked
// bar of errored, severely errored and unavailable seconds with the unknown
// time above them, painted from the toolkit-free plan (charts/quality_chart.h)
// as the SVG writer and the Win32 window draw it.
#pragma once

#include <QWidget>
#include <vector>

#include "charts/quality_chart.h"

class QualityChartView : public QWidget {
    Q_OBJECT

public:
    explicit QualityChartView(QWidget* parent = nullptr);

    // Shows the bars of `bins` that overlap [from, to] (seconds since the
    // epoch); all of them when from >= to.
    void show_bins(const std::vector<charts::QualityBar>& bins, double from, double to);
    const charts::QualityChartPlan& plan() const { return plan_; }
    // What the title names after "Error performance": by default the bins.
    void set_subject(const QString& subject);
    // Where the plot lies in the widget, for the bars' rectangles.
    charts::PlotBox plot_box() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void replan();

    std::vector<charts::QualityBar> shown_;
    QString subject_;
    charts::QualityChartPlan plan_;
};
