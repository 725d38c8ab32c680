// The window draws the monitor's view in its real widgets: line breaks and
// bytes as the monitor passes them, and the address box's edit text while
// its list changes.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <functional>

#include "logbook/measurement_log.h"
#include "window_fixture.h"

namespace {

class WindowServicesTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        open_window();
    }
};

TEST_F(WindowServicesTest, PaneLinesBreakAtCrLfAndReadBackWithIt) {
    const struct {
        const char* given;
        const char* shown;  // the widget's plain text
        std::vector<const char*> lines;
    } cases[] = {
        {"one", "one", {"one", ""}},
        {"one\r\ntwo", "one\ntwo", {"one", "two"}},
        {"one\r\ntwo\r\n", "one\ntwo\n", {"one", "two", ""}},
        {"\r\n\r\n", "\n\n", {"", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        ViewState view = window_->monitor().view();
        view.panes[ControlId::kIdentificationPane] = c.given;
        window_->draw(view);
        const auto* pane = widget_as<QPlainTextEdit>(ControlId::kIdentificationPane);
        EXPECT_EQ(pane->toPlainText().toStdString(), c.shown);
        EXPECT_EQ(text(ControlId::kIdentificationPane), c.given);
        for (size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_EQ(pane->document()->findBlockByNumber(static_cast<int>(i)).text().toStdString(),
                      c.lines[i]);
        }
    }
}

TEST_F(WindowServicesTest, TextsCrossAsUtf8AndTheLogNameAsAFileName) {
    std::string typed;
    for (int c = 1; c < 128; ++c) {
        if (c != '\r' && c != '\n') {
            typed += static_cast<char>(c);
        }
    }
    typed += "M\xC3\xBCller \xE2\x82\xAC \xE6\x97\xA5 \xF0\x9F\x99\x82";  // Müller € 日 🙂
    // Typed by the operator, what a command carries; drawn by the monitor,
    // what the widgets show.
    set_text(ControlId::kKeyField, typed);
    set_text(ControlId::kCommunityField, typed);
    set_text(ControlId::kAddressBox, typed);
    const OperatorInput input = window_->input();
    EXPECT_EQ(input.key, typed.substr(0, kKeyLimit)) << "the key field holds what the device takes";
    EXPECT_EQ(input.community, typed);
    EXPECT_EQ(input.address, typed);
    ViewState view = window_->monitor().view();
    view.panes[ControlId::kTemperaturePane] = typed;
    view.fields.interval = typed;
    view.fields.log = true;
    view.fields.log_file = typed;
    ++view.fields_filled;
    view.history = {typed};
    window_->draw(view);
    EXPECT_EQ(text(ControlId::kTemperaturePane), typed);
    EXPECT_EQ(text(ControlId::kIntervalField), typed);
    EXPECT_TRUE(checked(ControlId::kLogCheckBox));
    EXPECT_EQ(text(ControlId::kLogFileField), typed);
    EXPECT_EQ(list().at(0), typed);

    // Typed into the field, a name with an umlaut opens the file so named.
    const QString folder = QString::fromStdString(testing::TempDir());
    const QString name = folder + QStringLiteral("M\u00fcller.log");
    QFile::remove(name);
    widget_as<QLineEdit>(ControlId::kLogFileField)->setText(name);
    const std::string path = window_->input().log_file;
    EXPECT_EQ(path, QFile::encodeName(name).toStdString());
    EXPECT_EQ(write_log_header(path, DeviceReadings{}), LogWrite::kWritten);
    EXPECT_TRUE(QFile::exists(name));
    QFile::remove(name);
}

TEST_F(WindowServicesTest, ListChangesLeaveTheTypedAddressAlone) {
    // Each case starts from the list a, b, c with "typed" over the current
    // item.
    const struct {
        const char* what;
        int current;  // -1: the list starts empty
        std::vector<std::string> list;
    } cases[] = {
        {"insert before the current item", 0, {"new", "a", "b", "c"}},
        {"delete the current item", 1, {"a", "c"}},
        {"delete the last item while it is current", 2, {"a", "b"}},
        {"add to an empty list", -1, {"d"}},
    };
    ViewState view = window_->monitor().view();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        view.history.clear();
        if (c.current >= 0) {
            view.history = {"a", "b", "c"};
        }
        window_->draw(view);
        if (c.current >= 0) {
            widget_as<QComboBox>(ControlId::kAddressBox)->setCurrentIndex(c.current);
        }
        set_text(ControlId::kAddressBox, "typed");
        view.history = c.list;
        window_->draw(view);
        EXPECT_EQ(list(), c.list);
        EXPECT_EQ(text(ControlId::kAddressBox), "typed");
    }
}

}  // namespace
