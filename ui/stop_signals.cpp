#include "ui/stop_signals.h"

#include <QSocketNotifier>
#include <csignal>

#include "ui/tarvik_dlg.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<bool> stop_flag{false};
// The handler wakes the event loop through this pipe: nothing else may be
// done inside a signal handler. (Windows keeps the default: the process ends
// at once.)
int wake_pipe[2] = {-1, -1};

#ifndef _WIN32
extern "C" void on_window_stop_signal(int) {
    stop_flag = true;
    const char byte = 's';
    const ssize_t written = write(wake_pipe[1], &byte, 1);
    (void)written;  // a full pipe already holds a wake-up
}
#endif

}  // namespace

const std::atomic<bool>& StopSignalWatcher::stop_requested() {
    return stop_flag;
}

StopSignalWatcher::StopSignalWatcher(CTarvikDlg& window) : window_(window) {
    stop_flag = false;
    window_.monitor().link().cancel = &stop_flag;
#ifndef _WIN32
    if (pipe(wake_pipe) != 0) {
        wake_pipe[0] = wake_pipe[1] = -1;
        return;  // the signals keep their default: the process ends at once
    }
    for (int fd : wake_pipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    notifier_ = new QSocketNotifier(wake_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignalWatcher::on_signal);
    struct sigaction action {};
    action.sa_handler = on_window_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

StopSignalWatcher::~StopSignalWatcher() {
    window_.monitor().link().cancel = nullptr;
#ifndef _WIN32
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    delete notifier_;
    for (int& fd : wake_pipe) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
#endif
}

void StopSignalWatcher::on_signal() {
#ifndef _WIN32
    char sink[16];
    while (read(wake_pipe[0], sink, sizeof sink) > 0) {
    }
#endif
    // As the close box: the history is written and the run ends.
    window_.reject();
}
