// One scrape of one transceiver over the monitor's fetch.
#include "exporter/probe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "fleet/prometheus_export.h"
#include "monitor/parameter_fetch.h"
#include "snmp/agent_link.h"
#include "snmp/diagnostic.h"
#include "snmp/net.h"

namespace {

bool in_run(int index, const CatalogRun& run) {
    return index >= run.first_index && index < run.first_index + run.count;
}

// The number as the device sent it. The fetch's checks have made sure every
// numeric binding holds 4 octets of a number type.
bool is_counter(Param row) {
    return std::find(std::begin(kDeviceCounters), std::end(kDeviceCounters), row) !=
           std::end(kDeviceCounters);
}

double number_sent(const VarBinding& binding) {
    if (binding.type == kTagInteger) {
        int32_t n = 0;
        std::memcpy(&n, binding.value, sizeof n);
        return n;
    }
    uint32_t n = 0;
    std::memcpy(&n, binding.value, sizeof n);
    return n;
}

}  // namespace

std::vector<CatalogRun> probe_runs(bool with_identification) {
    std::vector<CatalogRun> runs;
    if (with_identification) {
        runs.push_back(kProbeIdentificationRun);
    }
    runs.insert(runs.end(), std::begin(kPollRuns), std::end(kPollRuns));
    return runs;
}

TargetProbe::TargetProbe(std::string target, std::string community)
    : target_(std::move(target)), community_(std::move(community)) {}

bool TargetProbe::identification_due(ProbeClock::time_point now,
                                     std::chrono::seconds identification_interval) const {
    return !identified_ || now - identified_at_ >= identification_interval;
}

ScrapeRun::ScrapeRun(TargetProbe& probe, ProbeClock::time_point deadline,
                     std::chrono::seconds identification_interval, const std::string& resolved)
    : probe_(probe),
      deadline_(deadline),
      started_(ProbeClock::now()),
      link_(std::make_unique<AgentLink>()),
      id_texts_(probe.id_texts_) {
    result_.identified = probe_.identification_due(started_, identification_interval);
    runs_ = probe_runs(result_.identified);
    // A socket per scrape: a fleet of thousands would otherwise hold as many
    // descriptors open between scrapes.
    AgentLink& link = *link_;
    std::snprintf(link.host, sizeof link.host, "%s",
                  resolved.empty() ? probe_.target_.c_str() : resolved.c_str());
    link.community_length =
        static_cast<int32_t>(std::min(probe_.community_.size(), sizeof link.community - 1));
    std::memcpy(link.community, probe_.community_.data(),
                static_cast<size_t>(link.community_length));
    link.report = [this](const std::string& text) { reported_ = text; };
    if (!resolved.empty() && resolved[0] == '!') {
        ++result_.errors;
        finish(probe_.target_ + ": " + resolved.substr(1));
        return;
    }
    if (open_link(link) == 0) {
        ++result_.errors;
        finish(probe_.target_ + ": " + reported_);
        return;
    }
    // Its answers are read when they are there, never waited for here.
    const int flags = fcntl(link.socket_handle, F_GETFL, 0);
    fcntl(link.socket_handle, F_SETFL, flags | O_NONBLOCK);
    send_next(started_);
}

ScrapeRun::~ScrapeRun() {
    close_link(*link_);
}

int ScrapeRun::socket() const {
    return finished_ ? -1 : static_cast<int>(link_->socket_handle);
}

void ScrapeRun::send_next(ProbeClock::time_point now) {
    if (run_ == runs_.size()) {
        finish("");
        return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now);
    const auto needed = probe_.answer_time_ * static_cast<int>(runs_.size() - run_);
    if (left.count() <= 0 || left < needed) {
        result_.busy = true;
        finish("target busy: " + std::to_string(runs_.size() - run_) + " requests left, " +
               std::to_string(std::max<long long>(left.count(), 0)) +
               " ms left of the scrape, and the target answers in about " +
               std::to_string(
                   std::chrono::duration_cast<std::chrono::milliseconds>(probe_.answer_time_)
                       .count()) +
               " ms");
        return;
    }
    request_ = fetch_request(runs_[run_].first_index, runs_[run_].count);
    ++result_.requests;
    request_id_ = request_ == nullptr ? 0 : send_request(*link_, request_.get());
    if (request_id_ == 0) {
        ++result_.errors;
        finish(exchange_fault_text(*link_));
        return;
    }
    wait_end_ = std::min(now + std::chrono::seconds(kAnswerWaitSeconds), deadline_);
}

void ScrapeRun::readable(ProbeClock::time_point now) {
    // One octet more than the largest datagram: a longer one fills it.
    uint8_t buffer[kMaxDatagram + 1];
    while (!finished_) {
        SocketAddress source{};
        socklen_t source_length = sizeof source;
        const auto received =
            recvfrom(link_->socket_handle, buffer, sizeof buffer, 0, &source.any, &source_length);
        if (received < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return;
            }
            // An ICMP error for an earlier datagram is no answer: go on
            // waiting, as the console's receive does.
            if (errno == ECONNREFUSED) {
                continue;
            }
            link_->fault = ExchangeFault::kReceiveFailed;
            link_->fault_detail = std::strerror(errno);
            print_diagnostic("recvfrom: %s", link_->fault_detail.c_str());
            answered(nullptr, now);
            return;
        }
        bool dropped = false;
        MessagePtr answer(accept_datagram(*link_, request_id_, buffer,
                                          static_cast<int32_t>(received), kMaxDatagram, source,
                                          &dropped));
        if (!dropped) {
            answered(std::move(answer), now);
        }
    }
}

void ScrapeRun::timed_out(ProbeClock::time_point now) {
    if (!finished_ && now >= wait_end_) {
        link_->fault = ExchangeFault::kNoAnswer;
        link_->fault_detail.clear();
        answered(nullptr, now);
    }
}

void ScrapeRun::answered(MessagePtr answer, ProbeClock::time_point now) {
    FetchFault fault;
    MessagePtr taken;
    if (!take_fetch_answer(*link_, *request_, std::move(answer), probe_.readings_, &fault,
                           &taken)) {
        // Silence is a timeout; an answer too long or undecodable is an
        // error, named as the console names it.
        if (fault.kind == FetchFailure::kNoAnswer && fault.text.empty()) {
            ++result_.timeouts;
            finish("no answer");
        } else {
            ++result_.errors;
            finish(fault.text);
        }
        return;
    }
    ++result_.answers;
    for (const VarBinding* b = taken->bindings; b != nullptr; b = b->next) {
        ++result_.values_returned;
        const int index = find_catalog_index(*b);
        if (in_run(index, kProbeIdentificationRun)) {
            id_texts_[index - kProbeIdentificationRun.first_index].assign(
                reinterpret_cast<const char*>(b->value), static_cast<size_t>(b->value_length));
        } else {
            numbers_.push_back({static_cast<Param>(index), number_sent(*b), {}});
        }
    }
    ++run_;
    send_next(now);
}

void ScrapeRun::cancel() {
    if (!finished_) {
        // The exporter stops, not the device: refused, counted as nothing
        // learnt, and the target keeps what it had.
        result_.busy = true;
        finish(kStoppingReason);
    }
}

void ScrapeRun::finish(const std::string& failure) {
    finished_ = true;
    close_link(*link_);
    result_.failure = failure;
    probe_.take(started_, id_texts_, numbers_, &result_);
}

void TargetProbe::take(ProbeClock::time_point started,
                       const std::array<std::string, kProbeIdentificationRun.count>& id_texts,
                       const std::vector<RawValue>& numbers, ProbeResult* out) {
    ProbeResult& result = *out;
    result.success = result.failure.empty();
    result.family = readings_.family_rate_mbps;
    result.duration = ProbeClock::now() - started;
    if (result.busy) {
        // Nothing was learnt about the device: it keeps what it had.
        return;
    }
    if (result.success) {
        answer_time_ = std::chrono::duration_cast<ProbeClock::duration>(result.duration) /
                       std::max(result.requests, 1);
        if (result.identified) {
            identified_ = true;
            identified_at_ = started;
            id_texts_ = id_texts;
        }
        for (int i = 0; i < kProbeIdentificationRun.count; ++i) {
            result.values.push_back(
                {static_cast<Param>(kProbeIdentificationRun.first_index + i), 0, id_texts_[i]});
        }
        result.values.insert(result.values.end(), numbers.begin(), numbers.end());
        // A counter below its last value: the device started again.
        std::vector<RawValue> counters;
        for (const RawValue& n : numbers) {
            if (is_counter(n.row)) {
                counters.push_back(n);
            }
        }
        for (size_t i = 0; i < counters.size() && i < counters_.size(); ++i) {
            if (counters[i].row == counters_[i].row && counters[i].number < counters_[i].number) {
                identified_ = false;
            }
        }
        counters_ = counters;
    } else {
        // The next scrape reads the identification again: a device that
        // went silent may come back as another.
        identified_ = false;
    }
}

std::string resolve_target(const std::string& target) {
    AgentLink link;
    std::string why;
    link.report = [&why](const std::string& text) { why = text; };
    std::snprintf(link.host, sizeof link.host, "%s", target.c_str());
    if (resolve_agent(link) == 0) {
        return "!" + why;
    }
    char shown[INET6_ADDRSTRLEN] = {};
    const SocketAddress& a = link.agent_address;
    if (address_family(a) == AF_INET6) {
        inet_ntop(AF_INET6, &a.v6.sin6_addr, shown, sizeof shown);
    } else {
        inet_ntop(AF_INET, &a.v4.sin_addr, shown, sizeof shown);
    }
    return endpoint_text(shown, address_port(a));
}

ProbeResult TargetProbe::scrape(ProbeClock::time_point deadline,
                                std::chrono::seconds identification_interval,
                                const std::atomic<bool>* stop) {
    ScrapeRun run(*this, deadline, identification_interval);
    while (!run.finished()) {
        if (stop != nullptr && *stop) {
            run.cancel();
            break;
        }
        // Slices of the wait, so that a stop is seen within kCancelCheckMs.
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(run.wait_end() -
                                                                                ProbeClock::now());
        pollfd ready{run.socket(), POLLIN, 0};
        const int slice = static_cast<int>(
            std::clamp<long long>(wait.count() + 1, 0, static_cast<long long>(kCancelCheckMs)));
        if (poll(&ready, 1, slice) > 0) {
            run.readable(ProbeClock::now());
        } else {
            run.timed_out(ProbeClock::now());
        }
    }
    return run.result();
}
