#include "log/LogPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteBytes;

TEST(ResolveDirectory, TrimsDefaultsAndJoinsRelativeTexts) {
    struct Case {
        const char* text;
        const char* executableDirectory;
        const char* expected;
    };
    const Case cases[] = {
        {"logs", "/opt/app", "/opt/app/logs"},
        {" \tlogs\t ", "/opt/app", "/opt/app/logs"},
        {"a/b", "C:\\app\\bin", "C:\\app\\bin/a/b"},
        {"", "/opt/app", "/opt/app/log_files"},
        {" \t ", "C:\\app\\bin", "C:\\app\\bin/log_files"},
        {"/data", "/opt/app", "/data"},
        {"  /data  ", "/opt/app", "/data"},
        {"C:/data", "/opt/app", "C:/data"},
        {"d:logs", "/opt/app", "d:logs"},
        {"\\\\server\\share\\logs", "C:\\app", "\\\\server\\share\\logs"},
        {"\\logs", "C:\\app", "\\logs"},
        {" \t", "\\\\server\\c$\\app", "\\\\server\\c$\\app/log_files"},
        // Without an executable directory relative texts stay relative.
        {"", "", "./log_files"},
        {"logs", "", "logs"},
        {" ./x ", "", "./x"},
        {"/data", "", "/data"},
        {"logs", nullptr, "logs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " | " +
                     (c.executableDirectory ? c.executableDirectory : "(null)"));
        StringBuffer out("unchanged");
        EXPECT_TRUE(ResolveDirectory(c.text, c.executableDirectory, out));
        EXPECT_STREQ(out.CStr(), c.expected);
    }
    StringBuffer out("unchanged");
    EXPECT_FALSE(ResolveDirectory(nullptr, "/opt/app", out));
    EXPECT_STREQ(out.CStr(), "unchanged");
}

TEST(FileSize, IsTheSizeOrZero) {
    TempDir dir;
    WriteBytes(dir.Path() / "seven", "1234567");
    EXPECT_EQ(FileSize(dir.Str("seven").c_str()), 7);
    EXPECT_EQ(FileSize(dir.Str("none").c_str()), 0);
    EXPECT_EQ(FileSize(nullptr), 0);
}

TEST(FileSize, ClampsFilesBeyondTheCounterRange) {
    TempDir dir;
    std::ofstream(dir.Path() / "big").close();
    std::error_code ec;
    fs::resize_file(dir.Path() / "big", 3ull << 30, ec);  // sparse where it can be
    if (ec) {
        GTEST_SKIP() << "cannot make a 3 GiB file here";
    }
    EXPECT_EQ(FileSize(dir.Str("big").c_str()), INT32_MAX);
}

TEST(MakeParentDirectories, CreatesEveryParentButNotTheLastPart) {
    TempDir dir;
    MakeParentDirectories((dir.Str() + "/a/b\\c/file.log").c_str());
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a" / "b" / "c"));
    EXPECT_FALSE(fs::exists(dir.Path() / "a" / "b" / "c" / "file.log"));
    // A trailing separator closes the last directory as well.
    MakeParentDirectories((dir.Str() + "/d/e/").c_str());
    EXPECT_TRUE(fs::is_directory(dir.Path() / "d" / "e"));
    // Existing directories and plain files in the way are left alone.
    WriteBytes(dir.Path() / "f", "x");
    MakeParentDirectories((dir.Str() + "/a/f/g/h").c_str());
    MakeParentDirectories((dir.Str() + "/f/g/h").c_str());
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "f"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a" / "f" / "g"));
    MakeParentDirectories(nullptr);
    MakeParentDirectories("");
    MakeParentDirectories("relative-without-separator");
    EXPECT_FALSE(fs::exists("relative-without-separator"));
}

TEST(MakeParentDirectories, NetworkPathWithoutAdministrativeShareCreatesNothing) {
    const char* path = "\\\\vosk-no-such-server\\share\\dir\\file.log";
    MakeParentDirectories(path);
    // On a system without network paths the first prefix would be a
    // directory under the root; it must not appear.
    std::error_code ec;
    EXPECT_FALSE(fs::exists("/vosk-no-such-server", ec));
}

TEST(MakeParentDirectories, StopsAtThePathLimit) {
    constexpr size_t kCheckedDepth = 4000;
    TempDir dir;
    // Components of 40 characters until the path is well past the limit.
    std::string path = dir.Str();
    const std::string part(40, 'p');
    while (path.size() < static_cast<size_t>(platform::kPathLimit) + 100) {
        path += "/" + part;
    }
    MakeParentDirectories(path.c_str());
    bool sawCreated = false;
    bool sawStop = false;
    for (size_t k = path.find('/', dir.Str().size()); k != std::string::npos;
         k = path.find('/', k + 1)) {
        std::error_code ec;
        bool exists = fs::is_directory(path.substr(0, k), ec);
        if (k < static_cast<size_t>(platform::kPathLimit)) {
            // As far as the system under the test goes: Wine ends at its
            // Unix host's 4096 bytes, short of Windows' 32767 characters.
            EXPECT_TRUE(exists || k >= kCheckedDepth) << k;
            sawCreated = true;
        } else {
            EXPECT_FALSE(exists) << k;
            sawStop = true;
        }
    }
    EXPECT_TRUE(sawCreated);
    EXPECT_TRUE(sawStop);
}

TEST(OpenCreating, CreatesParentsOnlyWhenCreating) {
    TempDir dir;
    std::string path = dir.Str("x/y/app.log");
    EXPECT_EQ(OpenCreating(path.c_str(), platform::kOpenAppend), -1);
    EXPECT_FALSE(fs::exists(dir.Path() / "x"));
    int fd = OpenCreating(path.c_str(), platform::kOpenCreate | platform::kOpenTruncate);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(platform::FileWrite(fd, "ab", 2), 2);
    platform::FileClose(fd);
    EXPECT_EQ(fs::file_size(path), 2u);
    EXPECT_EQ(OpenCreating(nullptr, platform::kOpenCreate), -1);
    // A directory cannot be opened as the file.
    EXPECT_EQ(OpenCreating(dir.Str("x").c_str(), platform::kOpenCreate), -1);
}

}  // namespace
}  // namespace vosk
