#include "ui/stop_signals.h"

#include <QSocketNotifier>

#include "process/stop_signals.h"
#include "ui/tarvik_dlg.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

StopSignalWatcher::StopSignalWatcher(CTarvikDlg& window) : window_(window) {
    clear_stop_request();
#ifndef _WIN32
    if (pipe(wake_pipe_) != 0) {
        wake_pipe_[0] = wake_pipe_[1] = -1;
        return;  // the signals keep their default: the process ends at once
    }
    for (int fd : wake_pipe_) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    notifier_ = new QSocketNotifier(wake_pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignalWatcher::on_signal);
    wake_on_stop_signal(wake_pipe_[1]);
    catch_stop_signals();
#endif
}

StopSignalWatcher::~StopSignalWatcher() {
#ifndef _WIN32
    release_stop_signals();
    wake_on_stop_signal(-1);
    delete notifier_;
    for (int& fd : wake_pipe_) {
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
    while (read(wake_pipe_[0], sink, sizeof sink) > 0) {
    }
#endif
    // As the close box: the history is written and the run ends.
    window_.reject();
}
