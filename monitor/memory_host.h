// A host whose controls are values in memory: the terminal front end and the
// tests. The operator's side (`set_text`, `set_check`, `select_in_list`) fills
// the fields that every command hands the monitor; the drawing side answers
// with the monitor's view. The poll timer is a period that the owner waits
// out (it delivers the ticks). The answer wait is the owner's too: `settle`
// delivers the socket's readiness (poll()) and the deadline by the host's
// clock until no exchange is in flight, and `advance` steps that clock, so a
// test of a silence takes no time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "monitor/device_monitor.h"
#include "monitor/view_state.h"

class MemoryHost : public MonitorHost {
public:
    // The monitor whose view this host draws; commands go to it.
    void attach(DeviceMonitor& monitor) { monitor_ = &monitor; }

    // MonitorHost. Drawing copies in the fields and boxes the monitor filled.
    void draw(const ViewState& view) override;
    void start_timer(int period_ms) override;
    void stop_timer() override { timer_running_ = false; }
    void await_answer(std::intptr_t socket, int wait_ms) override;
    void end_wait() override { waiting_ = false; }

    using Clock = std::chrono::steady_clock;
    // The host's clock: the steady clock, plus the steps `advance` took.
    Clock::time_point now() const { return Clock::now() + offset_; }
    // Waits in poll() for the socket or the deadline and hands each to the
    // monitor, until no answer is awaited. `stop`, when given, is looked at
    // every few milliseconds: once it says true the monitor closes.
    void settle(const std::function<bool()>& stop = nullptr);
    // The `stop` that `press` and `tick` settle with.
    void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }
    // Says when no answer can come (a test's device that drops every
    // request): `settle` then steps the clock to the deadline rather than
    // wait it out.
    void set_silence(std::function<bool()> silence) { silence_ = std::move(silence); }
    // How long the last wait was to last.
    int wait_ms() const { return wait_ms_; }
    // Steps the host's clock by `step`: a deadline that falls due meanwhile
    // is delivered (after an answer already waiting, as a loop would).
    void advance(std::chrono::milliseconds step);
    bool awaiting_answer() const { return waiting_; }
    // A button pressed with the fields as they stand, then settled.
    void press(DeviceMonitor::Handler handler);
    // A tick of the poll timer, then settled.
    void tick();

    // The operator's side. Texts and checks of the fields and boxes; panes
    // and lamps read the view (a lamp is checked while lit).
    void set_text(ControlId id, const std::string& text);
    std::string get_text(ControlId id) const;
    void set_check(ControlId id, int state);
    int get_check(ControlId id) const;
    bool is_enabled(ControlId id) const;
    // The address box's list, and picking entry `position` from it.
    const std::vector<std::string>& list() const;
    void select_in_list(ControlId id, int position);
    // The list entry the address box shows; -1: none.
    int selected() const;
    const OperatorInput& input() const { return input_; }

    bool timer_running() const { return timer_running_; }
    int timer_period() const { return timer_period_; }
    int timer_starts() const { return timer_starts_; }

protected:
    const ViewState& view() const;
    DeviceMonitor* monitor() const { return monitor_; }

private:
    // The fields as they stand now go to the monitor for its next command.
    void hand_over();

    DeviceMonitor* monitor_ = nullptr;
    OperatorInput input_;
    ViewState shown_;  // until attached
    ViewState drawn_;  // the view as last drawn
    bool drawn_once_ = false;
    std::function<bool()> stop_;
    std::function<bool()> silence_;
    int wait_ms_ = 0;
    bool waiting_ = false;
    std::intptr_t socket_ = -1;
    Clock::time_point deadline_;
    Clock::duration offset_{0};
    bool timer_running_ = false;
    int timer_period_ = 0;
    int timer_starts_ = 0;
};
