// Keys that would end a dialog, the routes that close the window and write
// the address history, the history read back, and where the file lives.
#include <cstdio>
#include <functional>

#include "process/wide_text.h"
#include "window_fixture.h"

namespace {

class Win32KeysTest : public Win32WindowTest {
protected:
    void SetUp() override {
        Win32WindowTest::SetUp();
        open_window();
    }
};

TEST_F(Win32KeysTest, EnterInAFieldOrPaneLeavesTheWindowAndTheTextAsTheyWere) {
    const ControlId fields[] = {
        ControlId::kAddressBox,    ControlId::kCommunityField, ControlId::kIntervalField,
        ControlId::kLogFileField,  ControlId::kKeyField,       ControlId::kTemperaturePane,
        ControlId::kVoltagePane,   ControlId::kStatisticPane,  ControlId::kLinkPane,
        ControlId::kRadioCheckBox, ControlId::kLogCheckBox,
    };
    for (ControlId id : fields) {
        SCOPED_TRACE(static_cast<int>(id));
        set_text(id, "abc");
        press_key(id, VK_RETURN);
        EXPECT_FALSE(window_->closed());
        EXPECT_TRUE(IsWindowVisible(window_->window()));
        EXPECT_EQ(text(id), "abc");
    }
    EXPECT_EQ(ini_value(ini_path_, "ip0"), "") << "nothing written";
}

TEST_F(Win32KeysTest, EnterInTheIdentificationPaneBreaksTheLine) {
    set_text(ControlId::kIdentificationPane, "ab");
    focus(ControlId::kIdentificationPane);
    SendMessageW(window_->control(ControlId::kIdentificationPane), EM_SETSEL, 1, 1);
    press(VK_RETURN);
    EXPECT_EQ(text(ControlId::kIdentificationPane), "a\r\nb");
    EXPECT_FALSE(window_->closed());
}

TEST_F(Win32KeysTest, EnterOnAFocusedPushButtonClicksIt) {
    point_at_simulator();
    press_key(ControlId::kGetButton, VK_RETURN);
    EXPECT_EQ(sim_.requests_received(), 1u);
    EXPECT_FALSE(window_->closed());
}

TEST_F(Win32KeysTest, EveryRouteOutWritesTheHistory) {
    const struct {
        const char* what;
        std::function<void()> close;
    } routes[] = {
        {"Esc", [this] { press_key(ControlId::kCommunityField, VK_ESCAPE); }},
        {"close box", [this] { SendMessageW(window_->window(), WM_CLOSE, 0, 0); }},
        {"system menu Close / Alt+F4",
         [this] { SendMessageW(window_->window(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"log-off",
         [this] { EXPECT_TRUE(SendMessageW(window_->window(), WM_QUERYENDSESSION, 0, 0)); }},
    };
    int n = 0;
    sim_.set_silent(true);  // the window's clock steps through every wait
    for (const auto& route : routes) {
        SCOPED_TRACE(route.what);
        if (window_ == nullptr) {
            open_window();
        }
        // Loopback addresses where nothing answers: the history is the point.
        const std::string address = "127.0.0." + std::to_string(++n + 1);
        set_text(ControlId::kAddressBox, address);
        click(ControlId::kGetButton);  // puts the address first in the history
        route.close();
        pump();
        EXPECT_EQ(ini_value(ini_path_, "ip0"), address);
        window_.reset();
    }
}

TEST_F(Win32KeysTest, ATickLeftQueuedAtClosingNeitherAsksNorWaits) {
    point_at_simulator();
    set_text(ControlId::kIntervalField, "3600000");
    click(ControlId::kStartButton);
    sim_.set_silent(true);
    SendMessageW(window_->window(), WM_CLOSE, 0, 0);
    const uint64_t asked = sim_.requests_received();
    const DWORD before = GetTickCount();
    SendMessageW(window_->window(), WM_TIMER, kPollTimerId, 0);
    EXPECT_LT(GetTickCount() - before, 400u) << "no answer waited for";
    EXPECT_EQ(sim_.requests_received(), asked);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(Win32KeysTest, HistoryIsReadInOrderSkippingEmptyValuesAndWrittenBackFromTheTop) {
    window_.reset();
    settings_->write("Main", "ip0", "b.example");
    settings_->write("Main", "ip1", "M\xC3\xBCller.example");
    settings_->write("Main", "ip5", "old.example");
    open_window();
    EXPECT_EQ(list().size(), 3u);
    EXPECT_EQ(list().at(1), "M\xC3\xBCller.example");
    EXPECT_EQ(text(ControlId::kAddressBox), "b.example") << "ip0 selected";
    EXPECT_EQ(text(ControlId::kCommunityField), "quolen");
    EXPECT_EQ(text(ControlId::kIntervalField), "1000");

    press_key(ControlId::kAddressBox, VK_ESCAPE);
    EXPECT_TRUE(window_->closed());
    EXPECT_EQ(ini_value(ini_path_, "ip1"), "M\xC3\xBCller.example");
    EXPECT_EQ(ini_value(ini_path_, "ip2"), "old.example");
    EXPECT_EQ(ini_value(ini_path_, "ip5"), "") << "removed: the list ends at ip2";
}

// The profile functions read one value a line: an unbalanced quote stays in
// its value, and both entries live through a closing.
TEST_F(Win32KeysTest, AnUnbalancedQuoteLosesNoEntry) {
    window_.reset();
    {
        std::FILE* file = _wfopen(utf8_to_wide(ini_path_).c_str(), L"wb");
        ASSERT_NE(file, nullptr);
        std::fputs("[Main]\r\nip0=\"10.0.0.1\r\nip1=10.0.0.2\r\n", file);
        std::fclose(file);
    }
    open_window();
    EXPECT_TRUE(messages_.empty());
    ASSERT_EQ(list().size(), 2u);
    point_at_simulator();
    click(ControlId::kGetButton);
    press_key(ControlId::kAddressBox, VK_ESCAPE);
    EXPECT_TRUE(window_->closed());
    EXPECT_EQ(ini_value(ini_path_, "ip0"), "127.0.0.1");
    EXPECT_EQ(ini_value(ini_path_, "ip1"), "\"10.0.0.1");
    EXPECT_EQ(ini_value(ini_path_, "ip2"), "10.0.0.2");
}

TEST_F(Win32KeysTest, AWriteThatFailsSaysWhy) {
    const std::string folder = ini_path_ + ".d";  // the settings folder is a file
    std::fclose(_wfopen(utf8_to_wide(folder).c_str(), L"wb"));
    ProfileSettingsStore store(folder + "\\tarvikw.INI");
    EXPECT_FALSE(store.write("Main", "ip0", "10.0.0.1"));
    EXPECT_EQ(store.error().rfind(store.path() + ": ", 0), 0u) << store.error();
    EXPECT_GT(store.error().size(), store.path().size() + 4) << "a reason follows";
}

TEST(Win32SettingsFile, LivesInTheUsersApplicationDataFolder) {
    wchar_t appdata[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH), 0u);
    const std::wstring folder = std::wstring(appdata) + L"\\Tarvik";
    const struct {
        const char* variant;
        std::wstring name;
    } cases[] = {{"", L"\\win32_tests.INI"}, {"demo", L"\\win32_tests-demo.INI"}};
    for (const auto& c : cases) {
        EXPECT_EQ(ProfileSettingsStore::default_path(c.variant), wide_to_utf8(folder + c.name));
    }
    EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace
