// The monitor's commands and its one exchange in flight: commands and ticks
// queued behind the exchange, the request sent and the host's events that
// end it (the socket readable, the deadline), and the step each answer goes
// to.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <utility>

#include "device/panes.h"
#include "device/parameter_catalog.h"
#include "monitor/device_monitor.h"

void DeviceMonitor::command(const OperatorInput& input, Handler handler) {
    if (closed_) {
        return;
    }
    if (handler == &DeviceMonitor::on_stop) {
        // Stop takes effect at once: a poll in flight (Start's reads
        // included) ends unshown, and the ticks queued go. A write in
        // flight ends and reports first.
        if (exchange_ && exchange_->purpose != Purpose::kSet &&
            exchange_->purpose != Purpose::kSendKey &&
            exchange_->purpose != Purpose::kGetIdentification) {
            abandon_exchange();
        }
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                    [](const QueuedCommand& q) { return q.handler == nullptr; }),
                     queue_.end());
        host_.stop_timer();
    }
    queue_.push_back({input, handler});
    if (!busy()) {
        run_queue();
    }
}

void DeviceMonitor::run_queue() {
    // A step that ends at once (nothing could be sent) comes back here
    // from inside a handler; the loop on the stack goes on instead.
    if (running_queue_) {
        return;
    }
    running_queue_ = true;
    while (!queue_.empty() && !exchange_ && !closed_) {
        const QueuedCommand next = queue_.front();
        queue_.pop_front();
        busy_ = true;
        if (next.handler == nullptr) {
            poll_tick();
        } else {
            input_ = next.input;
            (this->*next.handler)();
        }
        busy_ = false;
    }
    running_queue_ = false;
}

void DeviceMonitor::send_exchange(Purpose purpose, MessagePtr request, int run,
                                  const std::string& key) {
    Exchange exchange;
    exchange.purpose = purpose;
    exchange.run = run;
    exchange.input = input_;
    exchange.key = key;
    exchange.reports_before = transport_reports_;
    exchange.request = std::move(request);
    exchange_ = std::move(exchange);
    if (exchange_->request == nullptr) {
        finish_exchange(nullptr);  // nothing to send: no answer
        return;
    }
    exchange_->id = begin_exchange(link_, exchange_->request.get());
    if (exchange_->id == 0) {
        if (link_.fault == ExchangeFault::kCancelled) {
            // The owner cancelled the link: nothing of it is shown.
            exchange_.reset();
            publish();
            return;
        }
        finish_exchange(nullptr);
        return;
    }
    const auto wait = link_.answer_wait.count();
    host_.await_answer(static_cast<std::intptr_t>(link_.socket_handle),
                       wait < 0         ? 0
                       : wait > INT_MAX ? INT_MAX
                                        : static_cast<int>(wait));
}

void DeviceMonitor::on_socket_readable() {
    if (!exchange_ || exchange_->id == 0) {
        return;
    }
    bool pending = false;
    MessagePtr answer(take_answer(link_, exchange_->id, &pending));
    if (pending) {
        return;  // a stranger's datagram, or nothing after all
    }
    host_.end_wait();
    finish_exchange(std::move(answer));
}

void DeviceMonitor::on_deadline() {
    if (!exchange_ || exchange_->id == 0) {
        return;
    }
    // An answer already waiting when the deadline is noticed (the host's
    // loop was held) is taken, not counted as none.
    bool pending = false;
    MessagePtr answer(take_answer(link_, exchange_->id, &pending));
    host_.end_wait();
    if (pending) {
        link_.fault = ExchangeFault::kNoAnswer;
        link_.fault_detail.clear();
    }
    finish_exchange(std::move(answer));
}

void DeviceMonitor::abandon_exchange() {
    if (exchange_) {
        host_.end_wait();
        // A late answer is drained before the next request goes out.
        exchange_.reset();
    }
}

void DeviceMonitor::finish_exchange(MessagePtr answer) {
    Exchange done = std::move(*exchange_);
    exchange_.reset();
    const bool was_busy = busy_;
    busy_ = true;
    input_ = done.input;
    switch (done.purpose) {
        case Purpose::kStartIdentification:
            identification_answered_ =
                done.request != nullptr && take_fetch(*done.request, std::move(answer));
            take_identification();
            after_start_identification();
            break;
        case Purpose::kLogIdentification:
            identification_answered_ =
                done.request != nullptr && take_fetch(*done.request, std::move(answer));
            take_identification();
            note_identification();
            note_log_result(write_log_header(input_.log_file, readings_));
            send_poll_run(0);
            break;
        case Purpose::kGetIdentification:
            identification_answered_ =
                done.request != nullptr && take_fetch(*done.request, std::move(answer));
            take_identification();
            note_identification();
            view_.panes[ControlId::kIdentificationPane] = identification_pane_text(readings_);
            publish();
            break;
        case Purpose::kPollRun: {
            const bool read =
                done.request != nullptr && take_fetch(*done.request, std::move(answer));
            if (read && done.run + 1 < static_cast<int>(std::size(kPollRuns))) {
                send_poll_run(done.run + 1);
            } else {
                finish_poll(read);
            }
            break;
        }
        case Purpose::kSet:
        case Purpose::kSendKey:
            finish_write(done, answer.get());
            break;
    }
    busy_ = was_busy;
    if (!busy()) {
        run_queue();
    }
}

bool DeviceMonitor::take_fetch(const SnmpMessage& request, MessagePtr answer) {
    const bool read = take_fetch_answer(link_, request, std::move(answer), readings_, &last_fault_);
    if (last_fault_.kind == FetchFailure::kUnusableAnswer && last_fault_.text != refusal_told_) {
        refusal_told_ = last_fault_.text;
        std::fprintf(stderr, "tarvik: answer refused: %s\n", refusal_told_.c_str());
        std::fflush(stderr);
    }
    return read;
}
