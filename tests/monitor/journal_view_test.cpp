// The journal window's rows: newest first, filtered by device and kind,
// with their texts; the oldest dropped past the bound; the session's events
// merged without copies of those the file held.
#include "monitor/journal_view.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

// 2026-12-10 02:14:07 UTC.
constexpr double kT0 = 1796868847;

JournalEvent event(double dt, const char* address, const char* serial, JournalKind kind,
                   const char* text) {
    JournalEvent e;
    e.time = kT0 + dt;
    e.utc_offset_s = 3600;
    e.address = address;
    e.serial = serial;
    e.kind = kind;
    e.text = text;
    return e;
}

const std::vector<JournalEvent> kEvents = {
    event(0, "10.0.0.5", "", JournalKind::kStart, "Start 10.0.0.5"),
    event(1.25, "10.0.0.5", "A123", JournalKind::kNoAnswer, "no answer since 03:14:07"),
    event(30, "10.0.0.6", "B7", JournalKind::kLampLatched, "U +12V 14.5 V"),
    // The last second of the local day.
    event(74752, "10.0.0.5", "A123", JournalKind::kAnswered, "after 30 s"),
};

std::vector<std::string> rows_of(const JournalView& view) {
    std::vector<std::string> rows;
    for (std::size_t r = 0; r < view.rows(); ++r) {
        std::string row;
        for (int c = 0; c < JournalView::kColumnCount; ++c) {
            row += (c == 0 ? "" : " | ") + view.cell(r, c);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(JournalView, RowsAreNewestFirstFilteredByDeviceAndKind) {
    struct Case {
        int device;
        int kind;
        std::vector<std::string> rows;
    };
    const int answered = static_cast<int>(JournalKind::kAnswered);
    const Case cases[] = {
        {-1,
         -1,
         {"10.12.2026 23:59:59 | 10.0.0.5 (A123) | Answered | after 30 s",
          "10.12.2026 03:14:37 | 10.0.0.6 (B7) | Lamp latched | U +12V 14.5 V",
          "10.12.2026 03:14:08 | 10.0.0.5 (A123) | No answer | no answer since 03:14:07",
          "10.12.2026 03:14:07 | 10.0.0.5 | Start | Start 10.0.0.5"}},
        {1,
         -1,
         {"10.12.2026 23:59:59 | 10.0.0.5 (A123) | Answered | after 30 s",
          "10.12.2026 03:14:08 | 10.0.0.5 (A123) | No answer | no answer since 03:14:07"}},
        {-1, answered, {"10.12.2026 23:59:59 | 10.0.0.5 (A123) | Answered | after 30 s"}},
        {2, answered, {}},
    };
    JournalView view;
    for (const JournalEvent& e : kEvents) {
        view.add(e);
    }
    EXPECT_EQ(view.devices(),
              (std::vector<std::string>{"10.0.0.5", "10.0.0.5 (A123)", "10.0.0.6 (B7)"}));
    for (const Case& c : cases) {
        view.set_device_filter(c.device);
        view.set_kind_filter(c.kind);
        EXPECT_EQ(rows_of(view), c.rows) << "device " << c.device << " kind " << c.kind;
    }
}

TEST(JournalView, ANewEventIsRowZeroWhenShownAndTheOldestGoPastTheBound) {
    JournalView view(3);
    view.set_kind_filter(static_cast<int>(JournalKind::kStart));
    for (const JournalEvent& e : kEvents) {
        EXPECT_EQ(view.add(e), e.kind == JournalKind::kStart);
    }
    // The Start was the oldest of four: dropped.
    EXPECT_EQ(view.rows(), 0u);
    EXPECT_EQ(view.dropped(), 1u);
    EXPECT_TRUE(view.add(event(90000, "10.0.0.5", "A123", JournalKind::kStart, "Start again")));
    ASSERT_EQ(view.rows(), 1u);
    EXPECT_EQ(view.cell(0, JournalView::kDetailColumn), "Start again");
}

TEST(JournalView, TheSessionsEventsAreAddedOnceWhateverTheFileHeld) {
    JournalView view;
    view.add(kEvents[0]);
    view.add(kEvents[1]);
    JournalEvent rounded = kEvents[1];
    rounded.time += 0.0004;  // the file keeps milliseconds
    std::deque<JournalEvent> session = {rounded, kEvents[2], kEvents[2]};
    view.add_missing(session);
    EXPECT_EQ(rows_of(view).size(), 4u) << "the file's two, then the session's two not in it";
}

}  // namespace
