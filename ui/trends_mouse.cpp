// The trends window's mouse: the wheel zooms, a drag pans, hovering shows
// the values and the events under the cursor, a double click goes back to
// the time window chosen.
#include <QChart>
#include <QChartView>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

#include "ui/trends_charts.h"
#include "ui/trends_window.h"

namespace {

// One step of the mouse wheel narrows the shown time by this factor.
constexpr double kZoomStep = 0.8;
constexpr double kShortestView = 10;  // seconds

}  // namespace

double TrendsWindow::time_at(const Chart& c, const QPoint& pos) const {
    const QPointF at = c.chart->mapFromScene(c.view->mapToScene(pos));
    const QRectF area = c.chart->plotArea();
    const double share = area.width() > 0 ? (at.x() - area.left()) / area.width() : 0;
    return view_from_ + share * (view_to_ - view_from_);
}

bool TrendsWindow::in_plot_area(const Chart& c, const QPoint& pos) const {
    return c.chart->plotArea().contains(c.chart->mapFromScene(c.view->mapToScene(pos)));
}

void TrendsWindow::zoom(double factor, double around) {
    double from = around - (around - view_from_) * factor;
    double to = around + (view_to_ - around) * factor;
    if (to - from < kShortestView) {
        return;
    }
    set_view(from, to);
}

void TrendsWindow::set_view(double from, double to) {
    zoomed_ = true;
    view_from_ = from;
    view_to_ = to;
    refresh();
}

bool TrendsWindow::eventFilter(QObject* watched, QEvent* event) {
    const Chart* chart = nullptr;
    for (const Chart& c : charts_list_) {
        if (c.view->viewport() == watched) {
            chart = &c;
        }
    }
    if (chart == nullptr || history_ == nullptr || history_->held_polls() == 0) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            // A notch is 120; fine wheels and touchpads send a part of one.
            const double steps = wheel->angleDelta().y() / 120.0;
            if (steps != 0) {
                zoom(std::pow(kZoomStep, steps), time_at(*chart, wheel->position().toPoint()));
            }
            return true;
        }
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // Presses outside the plot area go on to the legend.
            if (mouse->button() == Qt::LeftButton &&
                in_plot_area(*chart, mouse->position().toPoint())) {
                drag_x_ = mouse->position().x();
                drag_from_ = view_from_;
                drag_to_ = view_to_;
                dragging_ = true;
                return true;
            }
            break;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const double width = chart->chart->plotArea().width();
            if (dragging_ && width > 0) {
                const double shift =
                    (mouse->position().x() - drag_x_) / width * (drag_to_ - drag_from_);
                set_view(drag_from_ - shift, drag_to_ - shift);
                return true;
            }
            if (!in_plot_area(*chart, mouse->position().toPoint())) {
                QToolTip::hideText();
                break;
            }
            QToolTip::showText(mouse->globalPosition().toPoint(),
                               cursor_text(time_at(*chart, mouse->position().toPoint())),
                               chart->view);
            break;
        }
        case QEvent::MouseButtonRelease:
            dragging_ = false;
            break;
        case QEvent::MouseButtonDblClick:
            // Back to the chosen time window, following new polls.
            zoomed_ = false;
            refresh();
            return true;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

QString TrendsWindow::cursor_text(double seconds) const {
    if (history_ == nullptr) {
        return QString();
    }
    QStringList rows;
    for (const std::string& row : charts::tooltip_rows(*history_, plan_, seconds, true)) {
        rows.append(QString::fromStdString(row));
    }
    // The events within a few pixels (a column is trends::kPixelsPerColumn wide).
    const std::string events = charts::marker_text_near(plan_, seconds, plan_.column_seconds * 2);
    if (!events.empty()) {
        rows.append(QString::fromStdString(events));
    }
    return rows.join(QLatin1Char('\n'));
}
