// The exporter's scrapes, all on one thread: each is a ScrapeRun on a
// non-blocking socket, and one epoll wait serves every socket and every
// deadline. Thousands can be in flight, none holding a thread. A scrape
// waits for its turn (exporter/probe_gate.h: one scrape per target, at most
// the limit at once) only until its deadline; then it is refused with what
// stood in the way.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exporter/exposition.h"
#include "exporter/probe.h"
#include "exporter/probe_gate.h"
#include "exporter/target_records.h"

// How a scrape handed to the loop ended: its result, or the reason it got
// no turn (then no request was sent).
struct ProbeOutcome {
    bool turn = false;
    std::string refused;  // when no turn: what stood in the way
    ProbeResult result;
};

struct ProbeJob {
    std::string key;  // the target's endpoint
    std::shared_ptr<TargetRecord> record;
    ProbeClock::time_point deadline;
    std::chrono::duration<double> budget;  // for the reasons' texts
    std::string resolved;                  // see ScrapeRun: a name looked up beforehand
    // Called once, on the loop's thread, when the scrape ended or was
    // refused.
    std::function<void(const ProbeOutcome&)> done;
};

class ProbeLoop {
public:
    ProbeLoop(int most_at_once, std::chrono::seconds identification_interval, ExporterStats& stats);
    ~ProbeLoop();
    ProbeLoop(const ProbeLoop&) = delete;
    ProbeLoop& operator=(const ProbeLoop&) = delete;

    // Starts the thread; false when epoll or its wake-up cannot be had.
    bool start(std::string* error);
    // From any thread.
    void submit(std::unique_ptr<ProbeJob> job);
    // Ends every scrape (each told "cancelled" or refused) and the thread.
    void stop();
    int limit() const { return gate_.limit(); }

private:
    struct Entry;
    void run();
    void take_inbox(ProbeClock::time_point now);
    void start_waiting();
    void arm(Entry* entry, ProbeClock::time_point when);
    void end(Entry* entry, ProbeOutcome outcome);
    void after_event(Entry* entry);

    const std::chrono::seconds identification_interval_;
    ExporterStats& stats_;
    ProbeGate gate_;
    int epoll_ = -1;
    int wake_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex inbox_mutex_;
    std::vector<std::unique_ptr<ProbeJob>> inbox_;
    bool closed_ = false;  // stopped: a job submitted now is refused at once
    // Loop thread only: the scrapes waiting for a turn, oldest first, and
    // every scrape by when it must next be looked at.
    std::deque<Entry*> waiting_;
    std::multimap<ProbeClock::time_point, Entry*> timers_;
};
