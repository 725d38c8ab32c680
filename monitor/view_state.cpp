#include "monitor/view_state.h"

#include "device/text_format.h"
#include "monitor/alarm_events.h"

namespace {

// A time of day as the status line shows it, in local time.
std::string clock_text(std::time_t when) {
    std::tm local{};
    const bool ok = local_time(when, &local);
    char text[16];
    if (!ok || std::strftime(text, sizeof text, "%H:%M:%S", &local) == 0) {
        return "?";
    }
    return text;
}

}  // namespace

std::string status_text(const ViewState& view) {
    if (!view.polling) {
        return "Stopped";
    }
    // An empty address is the local computer.
    const std::string agent = view.agent.empty() ? "127.0.0.1" : view.agent;
    if (view.agent_refused) {
        // No poll went out, so none went unanswered.
        return "Nothing was sent to " + agent + ": no usable agent address";
    }
    if (view.unanswered_polls > 0) {
        const std::string since =
            view.last_answer != 0 ? " since " + clock_text(view.last_answer) : std::string();
        return format_text("No answer from %s%s (%d poll%s)", agent.c_str(), since.c_str(),
                           view.unanswered_polls, view.unanswered_polls == 1 ? "" : "s");
    }
    std::string text = format_text("Polling %s every %d ms", agent.c_str(), view.period_ms);
    if (view.family != 0) {
        text += format_text(" \xC2\xB7 family %d", static_cast<int>(view.family));
    }
    if (view.last_answer != 0) {
        text += " \xC2\xB7 last answer " + clock_text(view.last_answer);
    }
    if (view.quality_today.seconds() > 0) {
        const QualityCounts& q = view.quality_today;
        text += format_text(" \xC2\xB7 today: %llu ES \xC2\xB7 %llu SES \xC2\xB7 %llu UAS",
                            static_cast<unsigned long long>(q.es),
                            static_cast<unsigned long long>(q.ses),
                            static_cast<unsigned long long>(q.uas));
    }
    return text;
}

std::string lamp_tip(LampState state, int rail) {
    switch (state) {
        case LampState::kLit:
            return lamp_tip_text(rail);
        case LampState::kNotKnownNow:
            return not_known_lamp_tip_text(rail);
        case LampState::kClear:
            break;
    }
    return clear_lamp_tip_text(rail);
}

FieldCopies field_copies(const ViewState& drawn, const ViewState& view, bool first) {
    FieldCopies copies;
    copies.fields = first || view.fields_filled != drawn.fields_filled;
    copies.switches = first || view.switches_shown != drawn.switches_shown;
    return copies;
}
