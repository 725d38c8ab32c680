// Generated files go into their folder all or none, by rename, never
// through a symlink planted there.
#include "fleet/export_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>

#include "test_names.h"

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ostringstream all;
    all << std::ifstream(path, std::ios::binary).rdbuf();
    return all.str();
}

class ExportFolderTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) /
               ("tarvik-export-" +
                case_name(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(out_ = dir_ / "out");
        std::ofstream(out_ / "a.yml") << "old a";
        std::ofstream(out_ / "b.yml") << "old b";
        std::ofstream(dir_ / "victim") << "not theirs";
    }
    void TearDown() override { fs::remove_all(dir_); }
    // The names in the output folder.
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(out_)) {
            all.push_back(entry.path().filename().string());
        }
        std::sort(all.begin(), all.end());
        return all;
    }

    fs::path dir_;
    fs::path out_;
    const std::vector<ExportFile> files_ = {{"a.yml", "new a"}, {"b.yml", std::string(9000, 'b')}};
};

TEST_F(ExportFolderTest, APlantedSymlinkIsReplacedNeverFollowed) {
    const struct {
        const char* link;  // in the output folder, to ../victim
        std::vector<std::string> names;
    } cases[] = {
        {"a.yml", {"a.yml", "b.yml"}},                     // under a file's name
        {"a.yml.new0", {"a.yml", "a.yml.new0", "b.yml"}},  // under the name a new file takes
    };
    for (const auto& c : cases) {
        fs::remove(out_ / c.link);
        fs::create_symlink(dir_ / "victim", out_ / c.link);
        EXPECT_EQ(replace_export_files(out_.string(), files_), "") << c.link;
        EXPECT_EQ(contents(dir_ / "victim"), "not theirs") << c.link;
        EXPECT_FALSE(fs::is_symlink(out_ / "a.yml")) << c.link;
        EXPECT_EQ(contents(out_ / "a.yml"), "new a") << c.link;
        EXPECT_EQ(contents(out_ / "b.yml"), files_[1].text) << c.link;
        EXPECT_EQ(names(), c.names) << c.link;
    }
}

// A file size limit stands in for a full disk: the second file cannot be
// written whole, and the first is not put in place either.
TEST_F(ExportFolderTest, AFailedWriteLeavesEveryOldFileAndSaysWhy) {
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = before;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string error = replace_export_files(out_.string(), files_);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(error, (out_ / "b.yml").string() + ": File too large");
    EXPECT_EQ(contents(out_ / "a.yml"), "old a");
    EXPECT_EQ(contents(out_ / "b.yml"), "old b");
    EXPECT_EQ(names(), (std::vector<std::string>{"a.yml", "b.yml"}));
}

}  // namespace

#endif
