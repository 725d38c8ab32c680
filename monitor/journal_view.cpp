#include "monitor/journal_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "process/local_time.h"

namespace {

// The time as it was read where the event happened: its own offset, not
// this computer's zone, so a journal reads the same wherever it is opened.
std::string local_text(double time, int utc_offset_s) {
    const long long local = static_cast<long long>(std::floor(time)) + utc_offset_s;
    const long long days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const long long second = local - days * 86400;
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civil_from_days(days, &year, &month, &day);
    const int in_day = static_cast<int>(second);
    char text[80];
    std::snprintf(text, sizeof text, "%02u.%02u.%04lld %02d:%02d:%02d", day, month, year,
                  in_day / 3600, in_day / 60 % 60, in_day % 60);
    return text;
}

// Two records of one event agree to the millisecond the file keeps.
constexpr double kSameTime = 0.0015;
// How far back of an event a copy of it is looked for: lines of two
// consoles may stand a little out of order.
constexpr double kLookBack = 60;

}  // namespace

std::string journal_kind_label(JournalKind kind) {
    std::string label = journal_kind_name(kind);
    for (char& c : label) {
        if (c == '_') {
            c = ' ';
        }
    }
    if (!label.empty() && label[0] >= 'a' && label[0] <= 'z') {
        label[0] = static_cast<char>(label[0] - 'a' + 'A');
    }
    return label;
}

charts::ChartMarker journal_marker(const JournalEvent& event) {
    // A text that names its kind already ("Start: polling ...") stands alone.
    const std::string label = journal_kind_label(event.kind);
    if (event.text.compare(0, label.size() + 1, label + ":") == 0) {
        return {event.time, event.text};
    }
    return {event.time, label + ": " + event.text};
}

std::vector<charts::ChartMarker> journal_markers(const std::vector<std::string>& files, double from,
                                                 double to, const std::vector<std::string>& serials,
                                                 const JournalProblemHandler& on_problem) {
    std::vector<charts::ChartMarker> markers;
    read_journal_files(
        files,
        [&](const JournalEvent& e) {
            if (e.time >= from && e.time <= to &&
                (serials.empty() || e.serial.empty() ||
                 std::find(serials.begin(), serials.end(), e.serial) != serials.end())) {
                markers.push_back(journal_marker(e));
            }
        },
        on_problem);
    return markers;
}

std::vector<charts::ChartMarker> log_journal_markers(const std::string& journal,
                                                     const ReadingHistory& history,
                                                     const std::vector<std::string>& serials,
                                                     const JournalProblemHandler& on_problem) {
    if (journal.empty() || history.held_polls() == 0) {
        return {};
    }
    const ReadingHistory::TimeSpan span = history.held_span();
    return journal_markers(journal_files(journal), span.earliest, span.latest, serials, on_problem);
}

const char* JournalView::column_title(int column) {
    static const char* const kTitles[kColumnCount] = {"Time", "Device", "Kind", "Detail"};
    return column >= 0 && column < kColumnCount ? kTitles[column] : "";
}

JournalView::JournalView(std::size_t most) : most_(most == 0 ? 1 : most) {}

std::uint32_t JournalView::device_of(const JournalEvent& event) {
    // Most events are of the device before them: looked at first.
    if (!held_.empty()) {
        const std::uint32_t last = held_.back().device;
        if (device_keys_[last].first == event.address &&
            device_keys_[last].second == event.serial) {
            return last;
        }
    }
    for (std::size_t i = 0; i < device_keys_.size(); ++i) {
        if (device_keys_[i].first == event.address && device_keys_[i].second == event.serial) {
            return static_cast<std::uint32_t>(i);
        }
    }
    device_keys_.emplace_back(event.address, event.serial);
    devices_.push_back(event.serial.empty() ? event.address
                                            : event.address + " (" + event.serial + ")");
    return static_cast<std::uint32_t>(devices_.size() - 1);
}

bool JournalView::shows(const Row& row) const {
    return (device_filter_ < 0 || row.device == static_cast<std::uint32_t>(device_filter_)) &&
           (kind_filter_ < 0 || static_cast<int>(row.kind) == kind_filter_);
}

bool JournalView::shows(const JournalEvent& event) const {
    if (device_filter_ >= 0) {
        const auto& key = device_keys_[static_cast<std::size_t>(device_filter_)];
        if (key.first != event.address || key.second != event.serial) {
            return false;
        }
    }
    return kind_filter_ < 0 || static_cast<int>(event.kind) == kind_filter_;
}

bool JournalView::add(const JournalEvent& event) {
    const std::uint32_t device = device_of(event);
    held_.push_back(Row{event.time, event.utc_offset_s, device, event.kind, event.text});
    const bool shown = shows(held_.back());
    if (shown) {
        shown_.push_back(first_ + held_.size() - 1);
    }
    if (held_.size() > most_) {
        held_.pop_front();
        ++first_;
        if (!shown_.empty() && shown_.front() < first_) {
            shown_.pop_front();
        }
    }
    return shown;
}

void JournalView::add_missing(const std::deque<JournalEvent>& events) {
    // Numbered as they stand: the session's own events are not looked at.
    const std::uint64_t end = first_ + held_.size();
    for (const JournalEvent& e : events) {
        bool held = false;
        for (std::uint64_t n = end; n-- > first_ && held_[n - first_].time >= e.time - kLookBack;) {
            const Row& r = held_[static_cast<std::size_t>(n - first_)];
            if (std::fabs(r.time - e.time) < kSameTime && r.kind == e.kind && r.text == e.text &&
                device_keys_[r.device].first == e.address) {
                held = true;
                break;
            }
        }
        if (!held) {
            add(e);
        }
    }
}

void JournalView::filter() {
    shown_.clear();
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (shows(held_[i])) {
            shown_.push_back(first_ + i);
        }
    }
}

void JournalView::set_device_filter(int device) {
    device_filter_ =
        device >= 0 && static_cast<std::size_t>(device) < devices_.size() ? device : -1;
    filter();
}

void JournalView::set_kind_filter(int kind) {
    kind_filter_ = kind >= 0 && kind < kJournalKindCount ? kind : -1;
    filter();
}

std::string JournalView::cell(std::size_t row, int column) const {
    if (row >= shown_.size()) {
        return std::string();
    }
    const Row& r = held_[static_cast<std::size_t>(shown_[shown_.size() - 1 - row] - first_)];
    switch (column) {
        case kTimeColumn:
            return local_text(r.time, r.utc_offset_s);
        case kDeviceColumn:
            return devices_[r.device];
        case kKindColumn:
            return journal_kind_label(r.kind);
        case kDetailColumn:
            return r.text;
        default:
            return std::string();
    }
}
