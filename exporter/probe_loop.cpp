// One thread, one epoll wait, every scrape.
#include "exporter/probe_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kEventsAtOnce = 256;
// The longest the loop sleeps with nothing due, so that a stop is seen.
constexpr std::chrono::milliseconds kLongestSleep{500};

}  // namespace

struct ProbeLoop::Entry {
    std::unique_ptr<ProbeJob> job;
    std::unique_ptr<ScrapeRun> run;  // null while waiting for a turn
    ProbeGate::Refused why = ProbeGate::Refused::kSlotsTaken;
    std::multimap<ProbeClock::time_point, Entry*>::iterator timer;
    bool armed = false;
};

ProbeLoop::ProbeLoop(int most_at_once, std::chrono::seconds identification_interval,
                     ExporterStats& stats)
    : identification_interval_(identification_interval), stats_(stats), gate_(most_at_once) {}

ProbeLoop::~ProbeLoop() {
    stop();
    if (epoll_ >= 0) {
        close(epoll_);
    }
    if (wake_ >= 0) {
        close(wake_);
    }
}

bool ProbeLoop::start(std::string* error) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;  // the wake-up
    if (epoll_ < 0 || wake_ < 0 || epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event) != 0) {
        *error = std::string("the scrapes' event loop: ") + std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void ProbeLoop::submit(std::unique_ptr<ProbeJob> job) {
    {
        const std::lock_guard<std::mutex> lock(inbox_mutex_);
        if (!closed_) {
            inbox_.push_back(std::move(job));
        }
    }
    if (job != nullptr) {
        ProbeOutcome outcome;
        outcome.refused = kStoppingReason;
        job->done(outcome);
        return;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wake_, &one, sizeof one);
}

void ProbeLoop::stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopping_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wake_, &one, sizeof one);
    thread_.join();
}

void ProbeLoop::arm(Entry* entry, ProbeClock::time_point when) {
    if (entry->armed) {
        timers_.erase(entry->timer);
    }
    entry->timer = timers_.emplace(when, entry);
    entry->armed = true;
}

void ProbeLoop::end(Entry* entry, ProbeOutcome outcome) {
    if (entry->armed) {
        timers_.erase(entry->timer);
        entry->armed = false;
    }
    if (entry->run != nullptr) {
        stats_.scrape_ended();
        gate_.leave(entry->job->key);
    } else {
        stats_.waiting_ended();
    }
    entry->job->done(outcome);
    entry->run.reset();
    delete entry;
}

void ProbeLoop::take_inbox(ProbeClock::time_point now) {
    std::vector<std::unique_ptr<ProbeJob>> jobs;
    {
        const std::lock_guard<std::mutex> lock(inbox_mutex_);
        jobs.swap(inbox_);
    }
    for (auto& job : jobs) {
        auto* entry = new Entry;
        const auto deadline = job->deadline;
        entry->job = std::move(job);
        stats_.waiting_started();
        waiting_.push_back(entry);
        arm(entry, std::max(deadline, now));
    }
}

void ProbeLoop::start_waiting() {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        Entry* entry = *it;
        if (!gate_.enter(entry->job->key, ProbeGate::Clock::time_point{}, &entry->why)) {
            ++it;
            continue;
        }
        it = waiting_.erase(it);
        stats_.waiting_ended();
        stats_.scrape_started();
        entry->run = std::make_unique<ScrapeRun>(entry->job->record->probe, entry->job->deadline,
                                                 identification_interval_, entry->job->resolved);
        if (!entry->run->finished()) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.ptr = entry;
            epoll_ctl(epoll_, EPOLL_CTL_ADD, entry->run->socket(), &event);
        }
        after_event(entry);
    }
}

void ProbeLoop::after_event(Entry* entry) {
    if (entry->run->finished()) {
        ProbeOutcome outcome;
        outcome.turn = true;
        outcome.result = entry->run->result();
        end(entry, std::move(outcome));
        return;
    }
    arm(entry, entry->run->wait_end());
}

void ProbeLoop::run() {
    epoll_event events[kEventsAtOnce];
    while (!stopping_) {
        auto now = ProbeClock::now();
        auto sleep = kLongestSleep;
        if (!timers_.empty()) {
            sleep = std::min(
                sleep, std::chrono::ceil<std::chrono::milliseconds>(timers_.begin()->first - now));
        }
        const int ready = epoll_wait(epoll_, events, kEventsAtOnce,
                                     static_cast<int>(std::max<long long>(sleep.count(), 0)));
        now = ProbeClock::now();
        for (int i = 0; i < ready; ++i) {
            auto* entry = static_cast<Entry*>(events[i].data.ptr);
            if (entry == nullptr) {
                uint64_t count = 0;
                [[maybe_unused]] const auto got = read(wake_, &count, sizeof count);
                continue;
            }
            entry->run->readable(now);
            after_event(entry);
        }
        take_inbox(now);
        // Timers due: an answer's wait over, or a waiting scrape's deadline.
        while (!timers_.empty() && timers_.begin()->first <= now) {
            Entry* entry = timers_.begin()->second;
            timers_.erase(timers_.begin());
            entry->armed = false;
            if (entry->run != nullptr) {
                entry->run->timed_out(now);
                after_event(entry);
                continue;
            }
            waiting_.erase(std::find(waiting_.begin(), waiting_.end(), entry));
            ProbeOutcome outcome;
            outcome.refused =
                entry->why == ProbeGate::Refused::kTargetBusy
                    ? "target busy: its previous scrape still ran"
                    : "all " + std::to_string(gate_.limit()) + " slots taken (--max-concurrent)";
            end(entry, std::move(outcome));
        }
        start_waiting();
    }
    // Stopping: every scrape ends now, each told so.
    {
        const std::lock_guard<std::mutex> lock(inbox_mutex_);
        closed_ = true;
    }
    take_inbox(ProbeClock::now());
    while (!timers_.empty()) {
        Entry* entry = timers_.begin()->second;
        if (entry->run != nullptr) {
            entry->run->cancel();
            after_event(entry);
            continue;
        }
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), entry));
        ProbeOutcome outcome;
        outcome.refused = kStoppingReason;
        end(entry, std::move(outcome));
    }
}
