// The address history in the settings file: read at initialisation, written
// when the window is closed, and the INI store under it.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <map>
#include <thread>

#include "ui/ini_settings_store.h"
#include "ui/stop_signals.h"
#include "window_fixture.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

class HistoryTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(folder_.isValid());
        path_ = folder_.filePath(QStringLiteral("tarvik.INI"));
    }
    void write_file(const std::string& contents) {
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents.data(), static_cast<qint64>(contents.size()));
    }
    std::string file_bytes() {
        QFile file(path_);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
    // The values of section "Main" in the file, as a fresh reader sees them.
    std::map<std::string, std::string> stored() {
        QSettings file(path_, QSettings::IniFormat);
        file.beginGroup(QStringLiteral("Main"));
        std::map<std::string, std::string> values;
        for (const QString& key : file.childKeys()) {
            values[key.toStdString()] = file.value(key).toString().toStdString();
        }
        return values;
    }
    // A window started on the file, as the program starts one.
    void start() {
        window_.reset();
        store_ = std::make_unique<IniSettingsStore>(path_);
        open_window(store_.get());
    }
    std::vector<std::string> listed() { return list(); }
    void close_with_escape() {
        activate();
        press_key(QApplication::focusWidget(), Qt::Key_Escape);
        ASSERT_FALSE(window_->isVisible());
    }

    QTemporaryDir folder_;
    QString path_;
    std::unique_ptr<IniSettingsStore> store_;
};

TEST_F(HistoryTest, StartListsTheStoredAddressesInOrderWithTheFirstShown) {
    const struct {
        const char* what;
        std::string file;  // empty: no file at all
        std::vector<std::string> list;
        std::string shown;
    } cases[] = {
        {"no file", "", {}, ""},
        {"gaps are skipped",
         "[Main]\nip0=10.0.0.1\nip1=10.0.0.2\nip5=10.0.0.6\n",
         {"10.0.0.1", "10.0.0.2", "10.0.0.6"},
         "10.0.0.1"},
        {"the first may be missing", "[Main]\nip3=radio-3\n", {"radio-3"}, "radio-3"},
        {"positions of ten and more are never read", "[Main]\nip10=10.0.0.11\nip99=x\n", {}, ""},
        {"equal values are listed twice",
         "[Main]\nip0=10.0.0.1\nip1=10.0.0.1\n",
         {"10.0.0.1", "10.0.0.1"},
         "10.0.0.1"},
        {"other sections are not the history", "[Other]\nip0=10.9.9.9\n", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path_);
        if (!c.file.empty()) {
            write_file(c.file);
        }
        start();
        EXPECT_EQ(listed(), c.list);
        EXPECT_EQ(text(ControlId::kAddressBox), c.shown);
        EXPECT_EQ(text(ControlId::kCommunityField), "quolen");
        EXPECT_EQ(text(ControlId::kIntervalField), "1000");
        EXPECT_TRUE(messages_.empty());
    }
}

TEST_F(HistoryTest, EscapeWritesTheListAndRemovesTheValuesAfterIt) {
    write_file("[Main]\nip0=10.0.0.1\nip1=10.0.0.2\nip5=10.0.0.6\nip10=10.0.0.11\n");
    start();
    QSignalSpy finished(window_.get(), &QDialog::finished);
    close_with_escape();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Rejected);

    const std::map<std::string, std::string> expected = {
        {"ip0", "10.0.0.1"}, {"ip1", "10.0.0.2"}, {"ip2", "10.0.0.6"}, {"ip10", "10.0.0.11"}};
    EXPECT_EQ(stored(), expected) << "positions of ten and more are never read, nor removed";

    start();
    EXPECT_EQ(listed(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.6"}));
}

// A private-profile file holds one value a line; a file that QSettings
// reads otherwise is set aside whole, never written over.
TEST_F(HistoryTest, AFileThatCannotBeReadLineByLineIsKeptAsBadAndNeverWritten) {
    const QString aside = path_ + QStringLiteral(".bad");
    const struct {
        std::string file;
        bool bad;
    } cases[] = {
        {"[Main]\nip0=\"10.0.0.1\nip1=10.0.0.2\n", true},  // an unbalanced quote
        {"[Main]\nip0=10.0.0.1\"\nip1=10.0.0.2\n", true},
        {"[Main]\nip0=10.0.0.1\\\nip1=10.0.0.2\n", true},  // goes on after a backslash
        {"[Main]\nip0=\"10.0.0.1\"\nip1=10.0.0.2\n", false},
    };
    for (const auto& c : cases) {
        QFile::remove(aside);
        write_file(c.file);
        const IniSettingsStore store(path_);
        EXPECT_EQ(store.notice().empty(), !c.bad) << c.file;
        EXPECT_EQ(QFile::exists(aside), c.bad) << c.file;
    }
    // The window says so at the start and writes a new file at the closing;
    // when the name is taken, the file stays as it is and the closing says so.
    for (const bool taken : {false, true}) {
        write_file(cases[0].file);
        messages_.clear();
        start();
        point_at_simulator();
        click(ControlId::kGetButton);
        close_with_escape();
        ASSERT_EQ(messages_.size(), taken ? 2u : 1u);
        EXPECT_NE(messages_[0].find(taken ? "will not be saved" : aside.toStdString()),
                  std::string::npos)
            << messages_[0];
        if (taken) {
            EXPECT_EQ(messages_[1].rfind(kHistoryNotSaved, 0), 0u) << messages_[1];
            EXPECT_EQ(file_bytes(), cases[0].file);
        } else {
            EXPECT_EQ(stored(), (std::map<std::string, std::string>{{"ip0", "127.0.0.1"}}));
        }
        QFile kept(aside);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll().toStdString(), cases[0].file);
    }
}

TEST_F(HistoryTest, AHistoryThatCannotBeSavedIsToldWithTheReason) {
    write_file("not a folder");  // the configuration folder is a file
    IniSettingsStore store(path_ + QStringLiteral("/tarvik.INI"));
    EXPECT_FALSE(store.write("Main", "ip0", "10.0.0.1"));
    EXPECT_EQ(store.error(), path_.toStdString() + " is a file, not a folder");
    EXPECT_EQ(file_bytes(), "not a folder");
}

TEST_F(HistoryTest, AnAddressUsedComesFirstAtTheNextStart) {
    write_file("[Main]\nip0=10.0.0.1\n");
    start();
    point_at_simulator();
    click(ControlId::kGetButton);
    window_->close();  // the close box, like Alt+F4
    ASSERT_FALSE(window_->isVisible());

    start();
    EXPECT_EQ(listed(), (std::vector<std::string>{"127.0.0.1", "10.0.0.1"}));
    EXPECT_EQ(text(ControlId::kAddressBox), "127.0.0.1");
}

// An IPv6 agent named with its port: the window reaches it, and the entry
// goes through the file as typed, brackets included, beside an old one.
TEST_F(HistoryTest, AnIpv6EntrySurvivesTheFileAsTyped) {
    SimulatorOptions options;
    options.bind_address = "::1";
    SimulatedTransceiver sim(options);
    std::string error;
    if (!sim.start(&error)) {
        // Only a system without IPv6 is a reason to skip.
        ASSERT_TRUE(error.rfind("socket", 0) == 0 || error.rfind("bind", 0) == 0) << error;
        GTEST_SKIP() << "no IPv6 loopback (::1) on this machine: " << error;
    }
    const std::string entry = "[::1]:" + std::to_string(sim.port());
    write_file("[Main]\nip0=10.0.0.1\n");
    start();
    set_text(ControlId::kAddressBox, entry);
    click(ControlId::kGetButton);
    EXPECT_EQ(sim.requests_received(), 1u);
    EXPECT_EQ(std::string(readings_.id_text[1]).substr(0, 3), "RL-") << "no answer over IPv6";
    EXPECT_TRUE(messages_.empty());
    close_with_escape();
    EXPECT_NE(file_bytes().find("ip0=" + entry + "\n"), std::string::npos) << file_bytes();
    EXPECT_EQ(stored(), (std::map<std::string, std::string>{{"ip0", entry}, {"ip1", "10.0.0.1"}}));

    start();
    EXPECT_EQ(listed(), (std::vector<std::string>{entry, "10.0.0.1"}));
    EXPECT_EQ(text(ControlId::kAddressBox), entry);
}

TEST_F(HistoryTest, AStopSignalInAWaitClosesLikeTheCloseBox) {
    start();
    point_at_simulator();
    sim_.set_silent(true);
    step_silences_ = false;
    {
        const StopSignalWatcher watcher(*window_);
        QSignalSpy finished(window_.get(), &QDialog::finished);
        std::thread signaller([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            kill(getpid(), SIGTERM);
        });
        const auto began = std::chrono::steady_clock::now();
        click(ControlId::kStartButton);  // the identification read waits on a silent device
        signaller.join();
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1500))
            << "the wait gave up instead of running its two seconds";
    }
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(stored(), (std::map<std::string, std::string>{{"ip0", "127.0.0.1"}}));
}

TEST_F(HistoryTest, EnterInTheCommunityFieldNeitherClosesNorWrites) {
    write_file("[Main]\nip0=10.0.0.1\n");
    const std::string before = file_bytes();
    start();
    point_at_simulator();
    click(ControlId::kGetButton);  // the list now differs from the file
    QSignalSpy finished(window_.get(), &QDialog::finished);
    activate();
    widget(ControlId::kCommunityField)->setFocus();
    press_key(widget(ControlId::kCommunityField), Qt::Key_Return);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(file_bytes(), before);
}

TEST_F(HistoryTest, StoreReadsMissingValuesAsEmptyCutsLongOnesAndWritesOnlyWhatItIsGiven) {
    write_file("[Main]\nip0=a\nip7=" + std::string(5000, 'h') + "\n[Other]\nip1=x\n");
    IniSettingsStore store(path_);
    EXPECT_EQ(store.read("Main", "ip1"), "");
    EXPECT_EQ(store.read("Main", "ip7"), std::string(kSettingsValueLimit, 'h'));
    store.write("Main", "ip0", "b");
    store.write("Main", "ip1", "c d");
    EXPECT_EQ(stored(), (std::map<std::string, std::string>{
                            {"ip0", "b"}, {"ip1", "c d"}, {"ip7", std::string(5000, 'h')}}));
    EXPECT_EQ(QSettings(path_, QSettings::IniFormat).value(QStringLiteral("Other/ip1")),
              QStringLiteral("x"));
}

TEST(SettingsFile, IsNamedAfterTheProgramAndTheDemoKeepsItsOwn) {
    const QString name = QCoreApplication::applicationName();
    const QString plain = IniSettingsStore::default_path();
    const QString demo = IniSettingsStore::default_path(QStringLiteral("demo"));
    EXPECT_TRUE(plain.endsWith(QLatin1Char('/') + name + QStringLiteral(".INI")))
        << plain.toStdString();
    EXPECT_TRUE(demo.endsWith(QLatin1Char('/') + name + QStringLiteral("-demo.INI")))
        << demo.toStdString();
    EXPECT_EQ(plain.section(QLatin1Char('/'), 0, -2), demo.section(QLatin1Char('/'), 0, -2))
        << "both in the user's configuration folder";
}

}  // namespace
