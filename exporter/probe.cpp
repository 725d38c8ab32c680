// One scrape of one transceiver over the monitor's fetch.
#include "exporter/probe.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "fleet/prometheus_export.h"
#include "monitor/parameter_fetch.h"
#include "snmp/agent_link.h"

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

ProbeResult TargetProbe::scrape(ProbeClock::time_point deadline,
                                std::chrono::seconds identification_interval,
                                const std::atomic<bool>* stop) {
    const ProbeClock::time_point started = ProbeClock::now();
    ProbeResult result;
    result.identified = identification_due(started, identification_interval);

    // A socket per scrape: a fleet of thousands would otherwise hold as many
    // descriptors open between scrapes.
    AgentLink link;
    std::snprintf(link.host, sizeof link.host, "%s", target_.c_str());
    link.community_length =
        static_cast<int32_t>(std::min(community_.size(), sizeof link.community - 1));
    std::memcpy(link.community, community_.data(), static_cast<size_t>(link.community_length));
    link.cancel = stop;
    link.report = [&result](const std::string& text) { result.failure = text; };

    std::vector<RawValue> numbers;
    std::array<std::string, kProbeIdentificationRun.count> id_texts = id_texts_;
    if (open_link(link) == 0) {
        ++result.errors;
        result.failure = target_ + ": " + result.failure;
    } else {
        const std::vector<CatalogRun> runs = probe_runs(result.identified);
        for (size_t r = 0; r < runs.size(); ++r) {
            const CatalogRun& run = runs[r];
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ProbeClock::now());
            const auto needed = answer_time_ * static_cast<int>(runs.size() - r);
            if (left.count() <= 0 || left < needed) {
                result.busy = true;
                result.failure =
                    "target busy: " + std::to_string(runs.size() - r) + " requests left, " +
                    std::to_string(left.count()) +
                    " ms left of the scrape, and the target answers in about " +
                    std::to_string(
                        std::chrono::duration_cast<std::chrono::milliseconds>(answer_time_)
                            .count()) +
                    " ms";
                break;
            }
            link.answer_wait =
                std::min<std::chrono::milliseconds>(std::chrono::seconds(kAnswerWaitSeconds), left);
            ++result.requests;
            FetchFault fault;
            MessagePtr answer;
            if (!fetch_parameters(link, readings_, run.first_index, run.count, &fault, &answer)) {
                // Silence is a timeout; an answer too long or undecodable is
                // an error, named as the console names it.
                if (fault.kind == FetchFailure::kNoAnswer && fault.text.empty()) {
                    ++result.timeouts;
                    result.failure = "no answer";
                } else {
                    ++result.errors;
                    result.failure = fault.text;
                }
                break;
            }
            ++result.answers;
            for (const VarBinding* b = answer->bindings; b != nullptr; b = b->next) {
                ++result.values_returned;
                const int index = find_catalog_index(*b);
                if (in_run(index, kProbeIdentificationRun)) {
                    id_texts[index - kProbeIdentificationRun.first_index].assign(
                        reinterpret_cast<const char*>(b->value),
                        static_cast<size_t>(b->value_length));
                } else {
                    numbers.push_back({static_cast<Param>(index), number_sent(*b), {}});
                }
            }
        }
        close_link(link);
    }
    result.success = result.failure.empty();
    result.family = readings_.family_rate_mbps;
    result.duration = ProbeClock::now() - started;
    if (result.busy) {
        // Nothing was learnt about the device: it keeps what it had.
        return result;
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
    return result;
}
