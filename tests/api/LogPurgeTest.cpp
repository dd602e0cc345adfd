#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "api/LogPurge.h"

namespace fs = std::filesystem;

namespace vosk {
namespace {

class LogPurgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("vosk_purge_" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xffffff));
        fs::remove_all(root_);
        exe_ = root_ / "bin";
        fs::create_directories(exe_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    static void Touch(const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
    void Purge() { PurgeOldLogsIn(exe_.string().c_str()); }

    fs::path root_, exe_;
};

struct NameCase {
    const char* name;
    bool deleted;
};

// Names differ in more than letter case: Windows file names ignore it.
TEST_F(LogPurgeTest, DeletesOnlyLogAndLogBakSuffixes) {
    const NameCase cases[] = {
        {"app.log", true},  {"app.log.bak", true},  {"x.log", true},      {".log", true},
        {"app.txt", false}, {"other.LOG", false},   {"app.log.1", false}, {"app.bak", false},
        {"log", false},     {"a.log.bak.1", false},
    };
    for (const fs::path& dir : {exe_ / "log_files", root_ / "log"}) {
        for (const NameCase& c : cases) {
            Touch(dir / c.name);
        }
    }
    Purge();
    for (const fs::path& dir : {exe_ / "log_files", root_ / "log"}) {
        for (const NameCase& c : cases) {
            EXPECT_EQ(fs::exists(dir / c.name), !c.deleted) << (dir / c.name);
        }
    }
}

TEST_F(LogPurgeTest, LeavesSubdirectoriesAlone) {
    Touch(exe_ / "log_files" / "sub" / "deep.log");
    fs::create_directories(exe_ / "log_files" / "dir.log");
    Purge();
    EXPECT_TRUE(fs::exists(exe_ / "log_files" / "sub" / "deep.log"));
    EXPECT_TRUE(fs::is_directory(exe_ / "log_files" / "dir.log"));
}

// Where '\' is an ordinary character, "..\\..\\victim.log" would read as a
// path to a file two levels up once the separators are turned around.
TEST_F(LogPurgeTest, NamesWithBackslashesAreDeletedWhereTheyLie) {
    const fs::path dir = exe_ / "log_files";
    fs::create_directories(dir);
    std::ofstream(root_ / "victim.log") << "victim";
    Touch(dir / "..\\..\\victim.log");
    if (!fs::exists(dir / "..\\..\\victim.log") || fs::file_size(root_ / "victim.log") != 6) {
        GTEST_SKIP() << "'\\' separates path components here";
    }
    Touch(dir / "a\\b.txt");
    Touch(dir / "x\\y.log" / "inside.log");
    Purge();
    EXPECT_FALSE(fs::exists(dir / "..\\..\\victim.log"));
    EXPECT_TRUE(fs::exists(root_ / "victim.log"));
    EXPECT_TRUE(fs::exists(dir / "a\\b.txt"));
    EXPECT_TRUE(fs::exists(dir / "x\\y.log" / "inside.log")) << "directories are left alone";
}

TEST_F(LogPurgeTest, MissingLogDirectoryStillPurgesLogFiles) {
    Touch(exe_ / "log_files" / "a.log");
    Purge();
    EXPECT_FALSE(fs::exists(exe_ / "log_files" / "a.log"));
}

TEST_F(LogPurgeTest, NoExecutableDirectoryPurgesNothing) {
    PurgeOldLogsIn("");
    PurgeOldLogsIn(nullptr);
}

}  // namespace
}  // namespace vosk
