// SIGINT and SIGTERM close the console window as its close box does: the
// address history is written and the run ends. An exchange waiting for its
// answer gives up at once, so the window goes within a few milliseconds of
// the signal instead of after the poll.
#pragma once

#include <QObject>
#include <atomic>

class CTarvikDlg;
class QSocketNotifier;

class StopSignalWatcher : public QObject {
public:
    // Installs the handlers for the watcher's lifetime; one at a time.
    explicit StopSignalWatcher(CTarvikDlg& window);
    ~StopSignalWatcher() override;
    StopSignalWatcher(const StopSignalWatcher&) = delete;
    StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

    // Set from the first signal on; the window's link watches it.
    static const std::atomic<bool>& stop_requested();

private:
    void on_signal();

    CTarvikDlg& window_;
    QSocketNotifier* notifier_ = nullptr;
};
