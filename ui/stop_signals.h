// SIGINT and SIGTERM close the console window as its close box does: the
// address history is written and the run ends. An exchange waiting for its
// answer ends with the window (the monitor's close), so the window goes
// within a few milliseconds of the signal instead of after the poll. The handler and its flag are
// the ones every program shares (process/stop_signals.h); this watcher only wakes the event loop
// through a pipe and closes the window.
#pragma once

#include <QObject>

class CTarvikDlg;
class QSocketNotifier;

class StopSignalWatcher : public QObject {
public:
    // Installs the handlers for the watcher's lifetime; one at a time.
    explicit StopSignalWatcher(CTarvikDlg& window);
    ~StopSignalWatcher() override;
    StopSignalWatcher(const StopSignalWatcher&) = delete;
    StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

private:
    void on_signal();

    CTarvikDlg& window_;
    QSocketNotifier* notifier_ = nullptr;
    int wake_pipe_[2] = {-1, -1};
};
