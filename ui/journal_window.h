// The journal window: the link's events newest first, in four columns
// (time, device, kind, detail), filtered by device and by kind, following
// new events as the monitor records them. What it shows is JournalView's
// (monitor/journal_view.h); the window draws it through a table model that
// hands the view only the rows in sight, so a journal of 260,000 lines
// opens in well under a second.
//
// A separate, modeless window like the trends: the console goes on polling
// while it is open.
#pragma once

#include <QWidget>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "logbook/journal.h"
#include "monitor/journal_view.h"

class QComboBox;
class QLabel;
class QTableView;

class JournalWindow : public QWidget {
    Q_OBJECT

public:
    explicit JournalWindow(QWidget* parent = nullptr);
    ~JournalWindow() override;

    // Reads the journal at `path` and the files rotated from it, oldest
    // first, after what is shown. Lines that cannot be read are counted on
    // the status line. Returns the events read.
    std::uint64_t load(const std::string& path);
    // The session's events that the file did not hold (it may not have
    // been written).
    void add_missing(const std::deque<JournalEvent>& events);
    // A new event, live: the top row when the filters show it.
    void add(const JournalEvent& event);

    const JournalView& view() const { return view_; }
    QTableView* table() const { return table_; }
    QComboBox* device_box() const { return device_box_; }
    QComboBox* kind_box() const { return kind_box_; }
    QLabel* status_line() const { return status_; }

private:
    class Model;

    void setup_connections();
    void on_device_chosen(int index);
    void on_kind_chosen(int index);
    // Filters changed, or many rows came: the table is drawn anew.
    void reset_rows();
    // New devices seen go into the device box.
    void update_devices();
    void update_status();

    JournalView view_;
    std::uint64_t problems_ = 0;
    Model* model_ = nullptr;
    QTableView* table_ = nullptr;
    QComboBox* device_box_ = nullptr;
    QComboBox* kind_box_ = nullptr;
    QLabel* status_ = nullptr;
};
