// Keys that would end a dialog, minimising with and without a tray, and
// the About item in the window's menus.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "ui/about_dlg.h"
#include "window_fixture.h"
#include "window_texts.h"

namespace {

constexpr int kWaitMs = 5000;

class KeysTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        open_window();
        activate();
    }
    void press_in(ControlId id, int key) {
        QWidget* w = widget(id);
        w->setFocus();
        press_key(w->focusProxy() != nullptr ? w->focusProxy() : w, key);
    }
};

TEST_F(KeysTest, EnterInAFieldOrPaneLeavesTheWindowAndTheTextAsTheyWere) {
    const ControlId fields[] = {
        ControlId::kAddressBox,   ControlId::kCommunityField, ControlId::kIntervalField,
        ControlId::kLogFileField, ControlId::kKeyField,       ControlId::kTemperaturePane,
        ControlId::kVoltagePane,  ControlId::kStatisticPane,  ControlId::kLinkPane,
        ControlId::kRxPane,       ControlId::kRadioCheckBox,  ControlId::kLogCheckBox,
    };
    QSignalSpy finished(window_.get(), &QDialog::finished);
    for (ControlId id : fields) {
        SCOPED_TRACE(static_cast<int>(id));
        set_text(id, "abc");
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            press_in(id, key);
            EXPECT_TRUE(window_->isVisible());
            EXPECT_EQ(text(id), "abc");
        }
    }
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(KeysTest, EnterInTheIdentificationPaneBreaksTheLine) {
    set_text(ControlId::kIdentificationPane, "ab");
    auto* pane = widget_as<QPlainTextEdit>(ControlId::kIdentificationPane);
    pane->setFocus();
    pane->moveCursor(QTextCursor::End);
    press_key(pane, Qt::Key_Left);
    press_key(pane, Qt::Key_Return);
    EXPECT_EQ(text(ControlId::kIdentificationPane), "a\r\nb");
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(KeysTest, EnterOnAFocusedPushButtonClicksIt) {
    auto* reset = widget_as<QPushButton>(ControlId::kResetButton);
    QSignalSpy clicked(reset, &QPushButton::clicked);
    reset->setFocus();
    press_key(reset, Qt::Key_Return);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_TRUE(window_->isVisible());
}

class TrayTest : public WindowTest {
protected:
    void open(bool tray) {
        tray_available_ = tray;
        open_window();
    }
    void minimise_into_tray() {
        window_->showMinimized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->isVisible(); }, kWaitMs));
        ASSERT_TRUE(window_->tray_icon()->isVisible());
        EXPECT_EQ(window_->tray_icon()->toolTip().toStdString(), window_texts::kTrayTip);
        EXPECT_FALSE(window_->tray_icon()->icon().isNull());
    }
};

TEST_F(TrayTest, WithoutAShownIconMinimisingLeavesTheWindowMinimisedAndVisible) {
    const struct {
        const char* what;
        bool tray;
        bool icon_shown;
    } cases[] = {{"no tray", false, true}, {"a tray that cannot show the icon", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open(c.tray);
        window_->set_tray_shown_check([&] { return c.icon_shown; });
        window_->showMinimized();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_TRUE(window_->isMinimized());
        EXPECT_TRUE(window_->isVisible());
        EXPECT_FALSE(window_->tray_icon()->isVisible());
    }
}

TEST_F(TrayTest, MinimisingHidesBehindTheIconAndAClickOnItRestores) {
    const struct {
        QSystemTrayIcon::ActivationReason reason;
        bool restores;
    } cases[] = {
        {QSystemTrayIcon::Trigger, true},      // left button
        {QSystemTrayIcon::Context, true},      // right button
        {QSystemTrayIcon::DoubleClick, true},  // after its first click
        {QSystemTrayIcon::MiddleClick, false}, {QSystemTrayIcon::Unknown, false},
    };
    open(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reason));
        minimise_into_tray();
        emit window_->tray_icon()->activated(c.reason);
        EXPECT_EQ(window_->isVisible(), c.restores);
        EXPECT_EQ(window_->tray_icon()->isVisible(), !c.restores);
        if (c.restores) {
            EXPECT_FALSE(window_->isMinimized());
        } else {
            emit window_->tray_icon()->activated(QSystemTrayIcon::Trigger);
        }
    }
}

TEST_F(TrayTest, PollingGoesOnInTheTray) {
    open(true);
    point_at_simulator();
    set_text(ControlId::kIntervalField, "20");
    click(ControlId::kStartButton);
    minimise_into_tray();
    // A rail that moves while the window is hidden is drawn all the same.
    sim_.set_rail(SupplyRail::k12V, 13000);
    const uint64_t hidden_at = sim_.requests_received();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return sim_.requests_received() >= hidden_at + 10; }, kWaitMs));
    EXPECT_FALSE(window_->isVisible());
    EXPECT_NE(text(ControlId::kVoltagePane).find("13.0"), std::string::npos)
        << text(ControlId::kVoltagePane);
}

TEST_F(TrayTest, TheAboutItemOfTheWindowAndTrayMenusOpensTheAboutBox) {
    open(false);
    QAction* about = window_->about_action();
    EXPECT_EQ(about->text().toStdString(), window_texts::kAboutItem);
    EXPECT_TRUE(window_->actions().contains(about));
    QMenu* menu = window_->tray_icon()->contextMenu();
    EXPECT_TRUE(menu->actions().contains(about));
    // A right click pops the same menu up over the window and returns.
    QContextMenuEvent right_click(QContextMenuEvent::Mouse, QPoint(5, 5),
                                  window_->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window_.get(), &right_click);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    about->trigger();
    about->trigger();  // a second choice raises the open box
    auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), window_.get());
    EXPECT_EQ(window_->findChildren<CAboutDlg*>().size(), 1);
    box->accept();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
