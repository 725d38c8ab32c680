// Generated files go into their folder all or none, by rename, never
// through a symlink planted there.
#include "fleet/export_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "test_names.h"

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class ExportFolderTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) /
               ("tarvik-export-" +
                case_name(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        put(dir_ / "out" / "a.yml", "old a");
        put(dir_ / "out" / "b.yml", "old b");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string out() const { return (dir_ / "out").string(); }
    // What the folder holds besides the files.
    std::vector<std::string> others() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_ / "out")) {
            const std::string name = entry.path().filename().string();
            if (name != "a.yml" && name != "b.yml") {
                names.push_back(name);
            }
        }
        return names;
    }

    fs::path dir_;
    const std::vector<ExportFile> files_ = {{"a.yml", "new a"}, {"b.yml", std::string(70000, 'b')}};
};

TEST_F(ExportFolderTest, NewFilesReplaceTheOldOnesAndNothingElseIsLeft) {
    EXPECT_EQ(replace_export_files(out(), files_), "");
    EXPECT_EQ(contents(dir_ / "out" / "a.yml"), "new a");
    EXPECT_EQ(contents(dir_ / "out" / "b.yml"), files_[1].text);
    EXPECT_EQ(others(), std::vector<std::string>{});
}

#ifndef _WIN32

TEST_F(ExportFolderTest, APlantedSymlinkIsReplacedNeverFollowed) {
    const struct {
        const char* what;
        const char* link;  // in the output folder, to ../victim
        std::vector<std::string> left;
    } cases[] = {
        {"under a file's name", "a.yml", {}},
        {"under the name a new file would take", "a.yml.new0", {"a.yml.new0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        put(dir_ / "victim", "not theirs");
        fs::remove(dir_ / "out" / c.link);
        fs::create_symlink(dir_ / "victim", dir_ / "out" / c.link);
        EXPECT_EQ(replace_export_files(out(), files_), "");
        EXPECT_EQ(contents(dir_ / "victim"), "not theirs");
        EXPECT_FALSE(fs::is_symlink(dir_ / "out" / "a.yml"));
        EXPECT_EQ(contents(dir_ / "out" / "a.yml"), "new a");
        EXPECT_EQ(others(), c.left);
        fs::remove(dir_ / "out" / c.link);
    }
}

// A file size limit stands in for a full disk: the second file cannot be
// written whole.
TEST_F(ExportFolderTest, AFailedWriteLeavesEveryOldFileAndSaysWhy) {
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = before;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string error = replace_export_files(out(), files_);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(error, out() + "/b.yml: File too large");
    EXPECT_EQ(contents(dir_ / "out" / "a.yml"), "old a");
    EXPECT_EQ(contents(dir_ / "out" / "b.yml"), "old b");
    EXPECT_EQ(others(), std::vector<std::string>{});
}

#endif

}  // namespace
