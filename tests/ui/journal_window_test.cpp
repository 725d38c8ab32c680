// The journal window: opened from the console's menus and Ctrl+J, drawing
// the journal file newest first, following the monitor's new events and
// filtering by kind; a 30-day journal opened at once; and the events as
// markers on the trends.
#include "ui/journal_window.h"

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>

#include "ui/trends_window.h"
#include "window_fixture.h"

namespace {

constexpr double kT0 = 1796868847;  // 2026-12-10 02:14:07 UTC

JournalEvent event(double time, JournalKind kind, const char* text) {
    JournalEvent e;
    e.time = time;
    e.utc_offset_s = 3600;
    e.address = "10.0.0.5";
    e.serial = "A123";
    e.kind = kind;
    e.text = text;
    return e;
}

class JournalTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(dir_.isValid());
        journal_ = dir_.filePath(QStringLiteral("journal.jsonl")).toStdString();
    }
    // The texts of the table's row `row` as drawn, joined by " | ".
    static std::string row_text(QTableView* table, int row) {
        std::string text;
        for (int c = 0; c < table->model()->columnCount(); ++c) {
            text += (c == 0 ? "" : " | ") +
                    table->model()->index(row, c).data().toString().toStdString();
        }
        return text;
    }
    QTemporaryDir dir_;
    std::string journal_;
};

TEST_F(JournalTest, OpensFromTheMenusAndCtrlJ) {
    const struct {
        const char* entry;
        std::function<void(CTarvikDlg&)> open;
    } cases[] = {
        {"context menu",
         [](CTarvikDlg& w) {
             ASSERT_TRUE(w.actions().contains(w.journal_action()));
             w.journal_action()->trigger();
         }},
        {"tray menu",
         [](CTarvikDlg& w) {
             ASSERT_TRUE(w.tray_icon()->contextMenu()->actions().contains(w.journal_action()));
             w.journal_action()->trigger();
         }},
        {"Ctrl+J",
         [](CTarvikDlg& w) {
             w.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
             QTest::keyClick(&w, Qt::Key_J, Qt::ControlModifier);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        open_window();
        EXPECT_EQ(window_->journal_window(), nullptr);
        c.open(*window_);
        ASSERT_NE(window_->journal_window(), nullptr);
        EXPECT_TRUE(window_->journal_window()->isVisible());
    }
}

TEST_F(JournalTest, DrawsTheFileNewestFirstFollowsANewEventAndFiltersByKind) {
    {
        JournalWriter writer(journal_);
        ASSERT_TRUE(writer.append(event(kT0, JournalKind::kStart, "Start 10.0.0.5")));
        ASSERT_TRUE(writer.append(event(kT0 + 30, JournalKind::kNoAnswer, "no answer: timeout")));
    }
    open_window();
    window_->set_journal(journal_);
    window_->journal_action()->trigger();
    JournalWindow* journal = window_->journal_window();
    QTableView* table = journal->table();
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(row_text(table, 0),
              "10.12.2026 03:14:37 | 10.0.0.5 (A123) | No answer | no answer: timeout");
    EXPECT_EQ(row_text(table, 1), "10.12.2026 03:14:07 | 10.0.0.5 (A123) | Start | Start 10.0.0.5");

    // Start against the simulator: the monitor's event is the new top row.
    point_at_simulator();
    click(ControlId::kStartButton);
    ASSERT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(table->model()->index(0, JournalView::kKindColumn).data().toString(),
              QStringLiteral("Start"));
    EXPECT_EQ(journal->device_box()->count(), 3) << "All devices, the file's and the simulator";

    journal->kind_box()->setCurrentIndex(1 + static_cast<int>(JournalKind::kNoAnswer));
    ASSERT_EQ(table->model()->rowCount(), 1);
    EXPECT_EQ(row_text(table, 0),
              "10.12.2026 03:14:37 | 10.0.0.5 (A123) | No answer | no answer: timeout");
}

// 30 days of a link that fails every 10 s: 260,000 lines. The window draws
// the rows in sight alone, so opening it is the file's reading.
TEST_F(JournalTest, OpensThirtyDaysOfAFlappingLink) {
    constexpr int kLines = 260000;
    {
        std::ofstream out(journal_, std::ios::binary);
        for (int i = 0; i < kLines; ++i) {
            out << journal_line(event(kT0 + 10.0 * i,
                                      i % 2 == 0 ? JournalKind::kNoAnswer : JournalKind::kAnswered,
                                      i % 2 == 0 ? "no answer since 03:14:07: timeout"
                                                 : "answered again after 10 s"))
                << '\n';
        }
    }
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpu = std::clock();
    JournalWindow journal;
    ASSERT_EQ(journal.load(journal_), static_cast<std::uint64_t>(kLines));
    journal.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&journal));
    const qint64 ms = timer.elapsed();
    // The processor time too: on a machine shared with other work it is
    // the one that tells what opening costs.
    std::printf("a journal of %d lines opened in %lld ms (%.0f ms of processor time)\n", kLines,
                static_cast<long long>(ms),
                static_cast<double>(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC);
    EXPECT_EQ(journal.table()->model()->rowCount(), kLines);
}

TEST_F(JournalTest, TheTrendsMarkEachEventInViewWithItsTextInTheTooltip) {
    auto history = std::make_unique<ReadingHistory>();
    DeviceReadings r;
    for (int i = 0; i <= 100; ++i) {
        history->add(kT0 + i, r, true);
    }
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    trends.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trends));
    trends.take_history(std::move(history), QStringLiteral("run.log"), {},
                        {{kT0 - 5, "Start: before the log"}, {kT0 + 50, "Reset: cleared U +12V"}});
    trends.refresh();
    const auto views = trends.charts_widget()->findChildren<QChartView*>();
    const double width = views.front()->chart()->plotArea().width();
    const std::vector<int> columns = trends.marker_columns(0);
    ASSERT_EQ(columns.size(), 1u) << "the event before the log is out of view";
    EXPECT_NEAR(columns[0], width / 2, 1);
    EXPECT_TRUE(trends.cursor_text(kT0 + 50).contains(QStringLiteral("Reset: cleared U +12V")));
    EXPECT_FALSE(trends.cursor_text(kT0 + 20).contains(QStringLiteral("Reset")));
}

}  // namespace
