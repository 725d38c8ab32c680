// The trends window's files: a log read on a thread of its own with a
// progress dialog, the charts saved as PNG, the Open and Save dialogs, and
// the boxes that tell what a load or a save came to.
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "monitor/journal_view.h"
#include "ui/trends_window.h"

namespace {

// The progress of a log being read: its steps, how often it is shown, and
// how long a load may take before the dialog shows at all.
constexpr int kProgressSteps = 1000;
constexpr int kProgressPeriodMs = 100;
constexpr int kProgressDelayMs = 300;

}  // namespace

// A log being read on a thread of its own into a history of its own; until
// the thread is joined, the window's thread only reads `bytes` and sets
// `cancel`.
struct TrendsWindow::Load {
    uint64_t number = 0;  // which load it is: a late call for an older one is known
    QString path;
    uint64_t size = 0;  // as found before the thread started
    std::unique_ptr<ReadingHistory> history = std::make_unique<ReadingHistory>();
    LogLoad result;       // the thread's own until it is joined
    std::string journal;  // read for the log's markers once it is read
    std::vector<charts::ChartMarker> markers;
    std::atomic<uint64_t> bytes{0};
    std::atomic<bool> cancel{false};
    std::thread thread;
};

void TrendsWindow::build_progress() {
    // Modal to this window alone: the console goes on meanwhile.
    progress_ = new QProgressDialog(this);
    progress_->setObjectName(QStringLiteral("log_progress"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setRange(0, kProgressSteps);
    progress_->setMinimumDuration(kProgressDelayMs);
    progress_->reset();  // not shown until a load starts
    progress_timer_ = new QTimer(this);
    progress_timer_->setInterval(kProgressPeriodMs);
}

void TrendsWindow::show_load_progress() {
    if (load_ != nullptr && load_->size > 0) {
        const double share =
            static_cast<double>(load_->bytes.load()) / static_cast<double>(load_->size);
        progress_->setValue(static_cast<int>(std::min(share, 1.0) * (kProgressSteps - 1)));
    }
}

bool TrendsWindow::start_log_load(const QString& path, LogLoad* refusal) {
    cancel_load();
    auto load = std::make_shared<Load>();
    load->path = path;
    // What the file is, and its size, are checked here: a file refused at
    // once never reaches the thread.
    LogLoad checked = check_log_file(QFile::encodeName(path).toStdString());
    if (checked.status != LogLoad::Status::kRead) {
        last_load_ = checked;
        if (refusal != nullptr) {
            *refusal = std::move(checked);
        }
        return false;
    }
    load->size = checked.bytes;
    load->number = ++loads_started_;
    load->journal = journal_;
    Load* raw = load.get();
    load->thread = std::thread([this, raw] {
        raw->result = load_log_file(QFile::encodeName(raw->path).toStdString(), *raw->history,
                                    [raw](uint64_t bytes) {
                                        raw->bytes = bytes;
                                        return !raw->cancel;
                                    });
        if (raw->result.status == LogLoad::Status::kRead) {
            raw->markers = log_journal_markers(raw->journal, *raw->history, raw->result.serials,
                                               [](const std::string&) {});
        }
        // Dropped by Qt when the window is gone; a cancelled load is
        // joined before that, and its call finds it no longer current.
        const uint64_t number = raw->number;
        QMetaObject::invokeMethod(
            this, [this, number] { finish_load(number); }, Qt::QueuedConnection);
    });
    load_ = std::move(load);
    progress_->setLabelText(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
    progress_->setValue(0);
    progress_timer_->start();
    return true;
}

void TrendsWindow::cancel_load() {
    if (load_ == nullptr) {
        return;
    }
    load_->cancel = true;
    // The thread looks at the flag after every chunk it reads.
    load_->thread.join();
    load_.reset();
    progress_timer_->stop();
    progress_->reset();
    last_load_ = LogLoad();
    last_load_.status = LogLoad::Status::kStopped;
    report_load_ = false;
    emit log_load_finished();
}

void TrendsWindow::finish_load(uint64_t number) {
    if (load_ == nullptr || load_->number != number) {
        return;  // cancelled, or replaced by a newer load
    }
    load_->thread.join();
    std::shared_ptr<Load> done = std::move(load_);
    progress_timer_->stop();
    progress_->reset();
    last_load_ = std::move(done->result);
    if (last_load_.status == LogLoad::Status::kRead) {
        take_history(std::move(done->history), QFileInfo(done->path).fileName(), last_load_.quality,
                     std::move(done->markers));
    }
    emit log_load_finished();
}

bool TrendsWindow::open_log(const QString& path, LogLoad* load) {
    bool started = start_log_load(path);
    if (started) {
        QEventLoop loop;
        connect(this, &TrendsWindow::log_load_finished, &loop, &QEventLoop::quit);
        if (loading()) {
            loop.exec();
        }
    }
    if (load != nullptr) {
        *load = last_load_;
    }
    return started && last_load_.status == LogLoad::Status::kRead;
}

bool TrendsWindow::save_png(const QString& path) {
    draw(true);  // the charts out of sight too
    return charts_->grab().save(path, "PNG");
}

// The trends window's boxes and file dialogs are modal without a loop of
// their own: opened during an exchange's wait (the console lends the wait
// its event loop), a loop of their own would hold the wait until they closed.
void TrendsWindow::show_note(bool warning, const QString& text) {
    auto* box = new QMessageBox(warning ? QMessageBox::Warning : QMessageBox::Information,
                                windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TrendsWindow::on_save_clicked() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Save as PNG"), QString(),
                                   QStringLiteral("PNG images (*.png)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->selectFile(QStringLiteral("trends.png"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!path.isEmpty() && !save_png(path)) {
            show_note(true, QStringLiteral("Could not save ") + path);
        }
    });
    dialog->open();
}

void TrendsWindow::on_open_clicked() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Open log"), QString(),
                                   QStringLiteral("Logs (*.log);;All files (*)"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, &TrendsWindow::open_chosen_log);
    dialog->open();
}

void TrendsWindow::open_chosen_log(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    LogLoad refusal;
    if (!start_log_load(path, &refusal)) {
        show_note(true, QStringLiteral("Could not open %1: %2")
                            .arg(path, QString::fromLocal8Bit(refusal.error.c_str())));
        return;
    }
    report_load_ = true;
}

void TrendsWindow::on_log_load_finished() {
    if (!report_load_) {
        return;
    }
    report_load_ = false;
    const LogLoad& load = last_load_;
    if (load.status == LogLoad::Status::kCannotOpen) {
        show_note(true, QStringLiteral("Could not read the log: %1")
                            .arg(QString::fromLocal8Bit(load.error.c_str())));
        return;
    }
    QStringList notes;
    if (load.totals.problems > 0) {
        notes << QStringLiteral("%1 lines could not be read; the first: %2")
                     .arg(load.totals.problems)
                     .arg(QString::fromStdString(load.problems.front()));
    }
    const std::string notice = log_load_notice(load);
    if (!notice.empty()) {
        notes << QString::fromStdString(notice);
    }
    if (!notes.isEmpty()) {
        show_note(false, notes.join(QStringLiteral("\n")));
    }
}
