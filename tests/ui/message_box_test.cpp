// The real message box: modal, a warning with an OK button, captioned with
// the program's name, its second line naming the file and the reason, and
// the poll timer still ticking while it is open.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "window_fixture.h"
#include "window_texts.h"

namespace {

constexpr int kWaitMs = 5000;

class MessageBoxTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        record_messages_ = false;
        open_window();
        point_at_simulator();
    }
};

TEST_F(MessageBoxTest, WarningBoxIsModalAndPollsGoOnWhileItIsOpen) {
    // A log file that cannot be opened makes Start report it in a box.
    QTemporaryDir folder;
    set_checked(ControlId::kLogCheckBox, true);
    const std::string path = folder.filePath(QStringLiteral("missing/run.log")).toStdString();
    set_text(ControlId::kLogFileField, path);
    set_text(ControlId::kIntervalField, "20");

    struct Seen {
        bool box = false;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title, text;
        QMessageBox::StandardButtons buttons;
        bool polled_inside = false;
    } seen;
    click(ControlId::kStartButton);
    // The box opens without a loop of its own: Start has returned.
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, kWaitMs));
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.box = true;
        seen.icon = box->icon();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.buttons = box->standardButtons();
        const uint64_t opened_at = sim_.requests_received();
        seen.polled_inside =
            QTest::qWaitFor([&] { return sim_.requests_received() >= opened_at + 10; }, kWaitMs);
        box->button(QMessageBox::Ok)->click();
    }

    ASSERT_TRUE(seen.box);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.title.toStdString(), "tarvik");
    EXPECT_EQ(seen.text.toStdString(), std::string(window_texts::kCannotOpenLog) + "\n" + path +
                                           ": No such file or directory");
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_TRUE(seen.polled_inside);
    EXPECT_TRUE(
        QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }, kWaitMs));
}

}  // namespace
