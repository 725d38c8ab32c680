// The main window against its control table: every control's ID, kind,
// caption, framing group box and place in dialog units, the tab order, and
// the window's own size, title and frame.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <set>

#include "window_fixture.h"

namespace {

struct Row {
    const char* name;  // the ID, or the readable name of a control without one
    const char* kind;  // the widget's class
    const char* caption;
    const char* group;
    int x, y, width, height;
};

// Dialog 102, in template order.
const Row kRows[] = {
    {"1000", "QPushButton", "Stop", "", 7, 223, 78, 14},
    {"1002", "QPushButton", "Start", "", 7, 201, 78, 14},
    {"address_label", "QLabel", "IP address:", "", 7, 7, 36, 8},
    {"community_label", "QLabel", "Community name:", "", 7, 39, 56, 8},
    {"identification_group", "QGroupBox", "Identification Information", "", 90, 9, 182, 132},
    {"temperature_group", "QGroupBox", "Temperature", "", 278, 9, 188, 52},
    {"control_group", "QGroupBox", "Control", "", 90, 147, 80, 119},
    {"link_group", "QGroupBox", "Link", "", 182, 147, 90, 40},
    {"rx_group", "QGroupBox", "RX inf.", "", 182, 197, 90, 48},
    {"voltage_group", "QGroupBox", "Voltage", "", 277, 65, 189, 135},
    {"1005", "PaneEdit", "", "Temperature", 283, 22, 176, 33},
    {"1006", "PaneEdit", "", "Identification Information", 96, 22, 170, 80},
    {"1007", "PaneEdit", "", "Voltage", 283, 78, 162, 115},
    {"1010", "QLineEdit", "", "", 7, 50, 79, 14},
    {"1013", "QCheckBox", "Log to file :", "File", 95, 282, 51, 10},
    {"interval_label", "QLabel", "Interval ms:", "", 7, 71, 37, 8},
    {"1016", "QLineEdit", "", "", 7, 82, 79, 14},
    {"1017", "QCheckBox", "Radio", "Control", 106, 160, 47, 10},
    {"1019", "QCheckBox", "Heater", "Control", 106, 188, 47, 10},
    {"1024", "QPushButton", "Get", "Identification Information", 98, 106, 50, 14},
    {"1025", "QPushButton", "Set", "Control", 95, 245, 50, 14},
    {"1027", "QComboBox", "", "", 7, 18, 79, 59},
    {"file_group", "QGroupBox", "File", "", 89, 269, 182, 32},
    {"1028", "QCheckBox", "Check1", "Voltage", 451, 138, 8, 8},
    {"1029", "QCheckBox", "Check1", "Voltage", 451, 146, 8, 8},
    {"1030", "QCheckBox", "Check1", "Voltage", 451, 154, 8, 8},
    {"1031", "QCheckBox", "Check1", "Voltage", 451, 162, 8, 8},
    {"1033", "QPushButton", "Reset", "", 7, 245, 78, 14},
    {"1032", "QCheckBox", "Check1", "Voltage", 451, 122, 8, 8},
    {"1034", "QCheckBox", "Check1", "Voltage", 451, 130, 8, 8},
    {"1035", "PaneEdit", "", "Statistic", 283, 217, 175, 77},
    {"statistic_group", "QGroupBox", "Statistic", "", 277, 203, 189, 98},
    {"1014", "QLineEdit", "", "File", 146, 281, 120, 13},
    {"1015", "QLineEdit", "", "Identification Information", 154, 123, 112, 13},
    {"1026", "QPushButton", "Send KEY", "Identification Information", 98, 122, 50, 14},
    {"1036", "PaneEdit", "", "Link", 188, 160, 78, 20},
    {"1037", "PaneEdit", "", "RX inf.", 188, 210, 78, 28},
};

QString caption_of(const QWidget* w) {
    if (w->inherits("QGroupBox")) {
        return w->property("title").toString();
    }
    const bool captioned = w->inherits("QAbstractButton") || w->inherits("QLabel");
    return captioned ? w->property("text").toString() : QString();
}

bool is(const Row& row, const char* kind) {
    return std::string(row.kind) == kind;
}

class ControlTableTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        open_window();
    }
    QWidget* find(const char* name) {
        return window_->findChild<QWidget*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    }
};

TEST_F(ControlTableTest, EveryControlHasItsIdKindCaptionGroupAndPlace) {
    const DialogUnits& units = window_->units();
    std::vector<QGroupBox*> groups;
    for (const Row& row : kRows) {
        if (is(row, "QGroupBox")) {
            groups.push_back(qobject_cast<QGroupBox*>(find(row.name)));
        }
    }
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        QWidget* w = find(row.name);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), row.kind);
        EXPECT_EQ(caption_of(w).toStdString(), row.caption);
        EXPECT_EQ(units.x_to_units(w->x()), row.x);
        EXPECT_EQ(units.y_to_units(w->y()), row.y);
        if (is(row, "QLabel")) {
            // A label may grow to the right to show all of its text.
            EXPECT_GE(units.x_to_units(w->width()), row.width);
            EXPECT_GE(w->width(), w->fontMetrics().horizontalAdvance(caption_of(w)));
        } else {
            EXPECT_EQ(units.x_to_units(w->width()), row.width);
        }
        // The address box's height in the table includes its dropped list.
        if (!is(row, "QComboBox")) {
            EXPECT_EQ(units.y_to_units(w->height()), row.height);
        }
        if (is(row, "QGroupBox")) {
            continue;
        }
        std::string framing;
        for (QGroupBox* group : groups) {
            if (group->geometry().contains(w->geometry())) {
                framing += group->title().toStdString();
            }
        }
        EXPECT_EQ(framing, row.group);
        // Group boxes lie under what they frame, so the mouse reaches it.
        QWidget* hit = window_->childAt(w->geometry().center());
        while (hit != nullptr && hit->parentWidget() != window_.get()) {
            hit = hit->parentWidget();
        }
        EXPECT_EQ(hit, w);
    }
}

TEST_F(ControlTableTest, WindowHoldsTheTableAloneAtItsFixedSizeWithOnlyAMinimiseBox) {
    std::set<std::string> expected, found;
    for (const Row& row : kRows) {
        expected.insert(row.name);
    }
    expected.insert("status_line");  // below the table's controls
    for (QWidget* w : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow()) {
            found.insert(w->objectName().toStdString());
        }
    }
    EXPECT_EQ(found, expected);

    EXPECT_EQ(window_->windowTitle().toStdString(), "Tarvik v7310QX-2");
    EXPECT_EQ(window_->units().x_to_units(window_->width()), 473);
    // The table's 308 units, and the status line below them.
    EXPECT_EQ(window_->units().y_to_units(window_->height()), 318);
    const QRect status = window_->status_line()->geometry();
    EXPECT_GE(window_->units().y_to_units(status.top()), 306);
    EXPECT_LE(status.bottom(), window_->height());
    EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
    const Qt::WindowFlags flags = window_->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
}

TEST_F(ControlTableTest, TabVisitsTheControlsInTemplateOrderFromStop) {
    std::vector<std::string> expected;
    for (const Row& row : kRows) {
        if (!is(row, "QLabel") && !is(row, "QGroupBox")) {
            expected.push_back(row.name);
        }
    }
    expected.push_back(expected.front());  // and round again
    activate();
    std::vector<std::string> visited;
    for (size_t i = 0; i < expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        // The address box's edit part stands for the box.
        QWidget* control = focus->parentWidget() == window_.get() ? focus : focus->parentWidget();
        visited.push_back(control->objectName().toStdString());
        press_key(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(ControlTableTest, TypedAddressIsNeitherCompletedNorAddedToTheList) {
    auto* box = widget_as<QComboBox>(ControlId::kAddressBox);
    ViewState view = window_->monitor().view();
    view.history = {"10.0.0.99"};
    window_->draw(view);
    activate();
    box->lineEdit()->clear();
    box->setFocus();
    QTest::keyClicks(box->lineEdit(), "10.0.0.9");
    press_key(box->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(box->count(), 1);
    EXPECT_EQ(text(ControlId::kAddressBox), "10.0.0.9");
}

}  // namespace
