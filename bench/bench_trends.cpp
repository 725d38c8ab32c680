// The trends window with a day of history: one live update (a poll added,
// the charts refilled and painted) on the offscreen platform, one that moves
// the view on by a column, and the console's resident memory with the window
// open beside it; then the whole console after a day of polls of the
// simulated transceiver, its trends window open.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "bench/sample_readings.h"
#include "charts/reading_history.h"
#include "device/device_readings.h"
#include "monitor/device_monitor.h"
#include "sim/simulated_transceiver.h"
#include "ui/tarvik_dlg.h"
#include "ui/trends_window.h"

namespace {

constexpr int kDayPolls = 86400;
constexpr double kStart = 1.8e9;

// The resident set of this process, in MiB, from /proc.
double resident_mib() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

// The console window as the operator has it, a day of polls held, and the
// trends window open on the last 24 hours at a usual size.
struct Console {
    DeviceReadings readings;
    CTarvikDlg dialog{readings};
    ReadingHistory history;
    TrendsWindow trends;
    int polls = 0;

    Console() {
        dialog.show();
        for (; polls < kDayPolls; ++polls) {
            history.add(kStart + polls, readings_at(polls), polls % 500 != 0);
        }
        trends.show_history(&history, QStringLiteral("live"));
        trends.resize(1200, 900);
        trends.set_span(TrendsWindow::Span::kOneDay);
        trends.show();
        QApplication::processEvents();
    }

    void live_update() {
        history.add(kStart + polls, readings_at(polls), true);
        ++polls;
        trends.refresh();
        trends.repaint();
    }
};

Console& console() {
    static Console* c = new Console;  // lives as long as the application
    return *c;
}

void BM_TrendsLiveUpdateDay(benchmark::State& state) {
    Console& c = console();
    for (auto _ : state) {
        c.live_update();
    }
    state.counters["resident_MiB"] = resident_mib();
}
BENCHMARK(BM_TrendsLiveUpdateDay)->Unit(benchmark::kMillisecond);

// An update that moves the view on by at least a column (300 polls; a
// column of the 24-hour view is under 300 s on a plot wider than 576 pixels
// at two pixels a column), so every series in sight is laid out again (the
// charts scrolled out of sight wait until they come into it): what an
// update costs once a column.
void BM_TrendsNewColumnDay(benchmark::State& state) {
    Console& c = console();
    for (auto _ : state) {
        for (int i = 0; i < 299; ++i, ++c.polls) {
            c.history.add(kStart + c.polls, readings_at(c.polls), true);
        }
        c.live_update();
    }
}
BENCHMARK(BM_TrendsNewColumnDay)->Unit(benchmark::kMillisecond);

// The same with the window high enough for every chart to be in sight.
void BM_TrendsNewColumnDayAllInSight(benchmark::State& state) {
    Console& c = console();
    c.trends.resize(1200, 2000);
    QApplication::processEvents();
    for (auto _ : state) {
        for (int i = 0; i < 299; ++i, ++c.polls) {
            c.history.add(kStart + c.polls, readings_at(c.polls), true);
        }
        c.live_update();
    }
    c.trends.resize(1200, 900);
    QApplication::processEvents();
}
BENCHMARK(BM_TrendsNewColumnDayAllInSight)->Unit(benchmark::kMillisecond);

// The refill of the chart series alone, without painting.
void BM_TrendsRefillDay(benchmark::State& state) {
    Console& c = console();
    for (auto _ : state) {
        c.history.add(kStart + c.polls, readings_at(c.polls), true);
        ++c.polls;
        c.trends.refresh();
    }
}
BENCHMARK(BM_TrendsRefillDay)->Unit(benchmark::kMillisecond);

// The console itself after a day of polls at the one-second interval, made
// at loopback speed: the window polls the simulated transceiver through the
// whole poll cycle (exchange, decoding, panes, history), then the trends
// window is opened on the last 24 hours.
struct PolledConsole {
    SimulatedTransceiver sim;
    DeviceReadings readings;
    CTarvikDlg dialog{readings};

    PolledConsole() {
        sim.start();
        dialog.monitor().set_default_port(sim.port());
        dialog.initialise(nullptr);
        dialog.show();
        dialog.set_text(ControlId::kAddressBox, "127.0.0.1");
        dialog.set_text(ControlId::kIntervalField, "3600000");  // the bench ticks the timer
        qobject_cast<QPushButton*>(dialog.control(ControlId::kStartButton))->click();
        for (int i = 1; i < kDayPolls; ++i) {
            dialog.monitor().on_timer(kPollTimerId);
            QApplication::processEvents();  // what the event loop does between polls
        }
        dialog.trends_action()->trigger();
        dialog.trends_window()->resize(1200, 900);
        dialog.trends_window()->set_span(TrendsWindow::Span::kOneDay);
        QApplication::processEvents();
    }
};

// One poll of the console with the trends window open: the exchange with the
// simulated transceiver, the panes, the history and the charts' update.
void BM_ConsolePollWithTrendsAfterADay(benchmark::State& state) {
    static PolledConsole* c = new PolledConsole;  // lives as long as the application
    for (auto _ : state) {
        c->dialog.monitor().on_timer(kPollTimerId);
        c->dialog.trends_window()->repaint();
        QApplication::processEvents();
    }
    state.counters["polls"] = static_cast<double>(c->dialog.history().polls());
    state.counters["resident_MiB"] = resident_mib();
}
BENCHMARK(BM_ConsolePollWithTrendsAfterADay)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
