#include "window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <chrono>

namespace {

constexpr int kSettleMs = 5000;

std::string bytes_of(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString qt_text(const std::string& text, ControlId id) {
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return id == ControlId::kLogFileField ? QFile::decodeName(bytes) : QString::fromUtf8(bytes);
}

}  // namespace

void WindowTest::SetUp() {
    // Fixed values, so that panes can be compared with the readings.
    sim_.freeze_time(100.0);
    ASSERT_TRUE(sim_.start());
}

void WindowTest::TearDown() {
    window_.reset();
    sim_.stop();
}

CTarvikDlg& WindowTest::open_window(SettingsStore* settings) {
    window_ = std::make_unique<CTarvikDlg>(readings_);
    if (record_messages_) {
        window_->set_message_box_hook(
            [this](const std::string& text) { messages_.push_back(text); });
    }
    window_->set_tray_check([this] { return tray_available_; });
    window_->monitor().set_default_port(sim_.port());
    // The real two-second wait is the link's own test; here a silence need
    // only outlast a loopback answer.
    window_->monitor().link().answer_wait = std::chrono::milliseconds(500);
    window_->initialise(settings);
    window_->show();
    return *window_;
}

void WindowTest::point_at_simulator() {
    set_text(ControlId::kAddressBox, "127.0.0.1");
}

std::string WindowTest::text(ControlId id) {
    QWidget* w = widget(id);
    if (auto* pane = qobject_cast<QPlainTextEdit*>(w)) {
        std::string joined;
        for (QTextBlock b = pane->document()->begin(); b.isValid(); b = b.next()) {
            joined += (b == pane->document()->begin() ? "" : "\r\n") + b.text().toStdString();
        }
        return joined;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return id == ControlId::kLogFileField ? bytes_of(QFile::encodeName(edit->text()))
                                              : edit->text().toStdString();
    }
    if (auto* box = qobject_cast<QComboBox*>(w)) {
        return box->currentText().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    return std::string();
}

void WindowTest::set_text(ControlId id, const std::string& text) {
    QWidget* w = widget(id);
    if (auto* pane = qobject_cast<QPlainTextEdit*>(w)) {
        pane->setPlainText(qt_text(text, id).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(qt_text(text, id));
    } else if (auto* box = qobject_cast<QComboBox*>(w)) {
        box->setEditText(qt_text(text, id));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(qt_text(text, id));
    }
}

bool WindowTest::checked(ControlId id) {
    return widget_as<QCheckBox>(id)->isChecked();
}

void WindowTest::set_checked(ControlId id, bool on) {
    widget_as<QCheckBox>(id)->setChecked(on);
}

std::vector<std::string> WindowTest::list() {
    std::vector<std::string> items;
    auto* box = widget_as<QComboBox>(ControlId::kAddressBox);
    for (int i = 0; i < box->count(); ++i) {
        items.push_back(box->itemText(i).toStdString());
    }
    return items;
}

void WindowTest::activate() {
    window_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
}

void WindowTest::click(ControlId id) {
    QTest::mouseClick(widget(id), Qt::LeftButton);
    settle();
}

void WindowTest::settle() {
    // The loop itself, not qWaitFor, whose sleeps between looks would hold
    // every answer back.
    QElapsedTimer waited;
    waited.start();
    while (window_->monitor().busy() && waited.elapsed() < kSettleMs) {
        // A silent device never answers: the window's clock steps to the
        // deadline rather than wait it out.
        if (step_silences_ && sim_.faults().silent && window_->monitor().waiting()) {
            window_->advance(window_->monitor().link().answer_wait);
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, kSettleMs);
    }
    EXPECT_FALSE(window_->monitor().busy());
}

void WindowTest::press_key(QWidget* target, int key) {
    QTest::keyClick(target, static_cast<Qt::Key>(key));
}
