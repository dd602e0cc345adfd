// Every folder vosklog's archive loses is named on standard error, with
// what went and why: day folders past --keep-days, and, on a small tmpfs
// that another file pushes over --disk-limit, the folders made first. The
// folders there before and after are compared with the lines.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "RunningTool.h"
#include "support/Stopwatch.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using test::RunningTool;
using vosk::test::Eventually;
using vosk::test::ReadBytes;
using vosk::test::SplitLines;
using vosk::test::TempDir;

struct Pruned {
    int64_t files = 0;
    int64_t bytes = 0;
    bool removed = false;
    std::string reason;
};

// The prune lines of standard error, by folder relative to logs; false
// when a line names a folder twice or anything outside logs.
bool PruneLines(const std::string& err, const fs::path& logs, std::map<std::string, Pruned>* out) {
    const std::regex line(R"(vosklog: pruned (.*): (\d+) files?, (\d+) bytes?, folder )"
                          R"((removed|stays): ([^:]*))");
    out->clear();
    const std::string prefix = logs.string() + "/";
    for (const std::string& text : SplitLines(err).lines) {
        std::smatch m;
        if (!std::regex_match(text, m, line)) {
            continue;
        }
        const std::string path = m[1];
        if (path.rfind(prefix, 0) != 0) {
            ADD_FAILURE() << "outside " << prefix << ": " << text;
            return false;
        }
        Pruned p;
        p.files = std::stoll(m[2]);
        p.bytes = std::stoll(m[3]);
        p.removed = m[4] == "removed";
        p.reason = m[5];
        if (!out->emplace(path.substr(prefix.size()), p).second) {
            ADD_FAILURE() << "named twice: " << text;
            return false;
        }
    }
    return true;
}

struct Tree {
    std::set<std::string> folders;  // relative, the archive's only
    int64_t files = 0;
    int64_t bytes = 0;
};

Tree ArchiveTree(const fs::path& logs) {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(logs)) {
        const std::string relative = fs::relative(entry.path(), logs).generic_string();
        if (relative.rfind("logfiles-", 0) != 0) {
            continue;
        }
        if (entry.is_directory()) {
            tree.folders.insert(relative);
        } else {
            ++tree.files;
            tree.bytes += static_cast<int64_t>(entry.file_size());
        }
    }
    return tree;
}

std::set<std::string> Removed(const std::map<std::string, Pruned>& lines) {
    std::set<std::string> removed;
    for (const auto& [path, p] : lines) {
        if (p.removed) {
            removed.insert(path);
        }
    }
    return removed;
}

// The year, month and day folders that went; a folder inside a day goes
// with it, counted in its line.
std::set<std::string> Gone(const Tree& before, const Tree& after) {
    std::set<std::string> gone;
    for (const std::string& folder : before.folders) {
        if (after.folders.count(folder) == 0 && std::count(folder.begin(), folder.end(), '/') < 3) {
            gone.insert(folder);
        }
    }
    return gone;
}

void MakeFile(const fs::path& path, size_t bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

std::string DayFolder(time_t t) {
    std::tm day;
    localtime_r(&t, &day);
    char text[64];
    std::snprintf(text, sizeof text, "logfiles-%04d/%02d/%04d-%02d-%02d", day.tm_year + 1900,
                  day.tm_mon + 1, day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
    return text;
}

class VosklogPruneReport : public ::testing::Test {
  protected:
    fs::path Err() const { return dir_.Path() / "err.txt"; }
    TempDir dir_;
};

TEST_F(VosklogPruneReport, EveryFolderPastItsDaysIsNamedWithItsFilesAndBytes) {
    const fs::path logs = dir_.Path() / "logs";
    MakeFile(logs / "logfiles-2020/01/2020-01-01/app.log.20200101-120000-000Z", 300);
    MakeFile(logs / "logfiles-2020/01/2020-01-01/app.log.20200101-130000-000Z.gz", 20);
    MakeFile(logs / "logfiles-2020/01/2020-01-01/nested/x", 1);
    MakeFile(logs / "logfiles-2020/02/2020-02-29/app.log.20200229-120000-000Z", 7);
    fs::create_directories(logs / "logfiles-2021/12/2021-12-31");
    // Today's and yesterday's stay, whatever the hour.
    const time_t now = time(nullptr);
    MakeFile(logs / DayFolder(now) / "app.log.x", 5);
    MakeFile(logs / DayFolder(now - 86400) / "app.log.y", 5);
    const Tree before = ArchiveTree(logs);

    RunningTool tool({"-d", logs.string(), "-n", "app.log", "--keep-days", "7"}, Err());
    ASSERT_TRUE(tool.Write("opens the file\n"));
    std::map<std::string, Pruned> lines;
    ASSERT_TRUE(Eventually([&] {
        return PruneLines(ReadBytes(Err()), logs, &lines) && lines.count("logfiles-2021") == 1;
    })) << ReadBytes(Err());
    tool.CloseInput();
    const int status = tool.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << ReadBytes(Err());
    ASSERT_TRUE(PruneLines(ReadBytes(Err()), logs, &lines));

    const Tree after = ArchiveTree(logs);
    const std::set<std::string> gone = Gone(before, after);
    EXPECT_EQ(Removed(lines), gone);
    // The nested folder went with its day, which counts its file.
    EXPECT_EQ(gone.size(), 8u) << ReadBytes(Err());
    EXPECT_EQ(after.folders.count("logfiles-2020/01/2020-01-01/nested"), 0u);
    const Pruned& first = lines["logfiles-2020/01/2020-01-01"];
    EXPECT_EQ(first.files, 3);
    EXPECT_EQ(first.bytes, 321);
    EXPECT_EQ(lines["logfiles-2020/02/2020-02-29"].files, 1);
    EXPECT_EQ(lines["logfiles-2021/12/2021-12-31"].files, 0);
    int64_t files = 0;
    for (const auto& [path, p] : lines) {
        EXPECT_EQ(p.reason, "older than 7 days") << path;
        EXPECT_TRUE(p.removed) << path;
        files += p.files;
    }
    EXPECT_EQ(files, before.files - after.files);
    EXPECT_EQ(after.files, 2);
}

// Mounts a tmpfs of the given size; unmounts it when it goes.
class SmallDisk {
  public:
    SmallDisk(const fs::path& at, const char* size) : at_(at) {
        fs::create_directories(at_);
        mounted_ = mount("tmpfs", at_.c_str(), "tmpfs", 0, size) == 0;
        error_ = mounted_ ? "" : std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted_) {
            umount2(at_.c_str(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    const std::string& Error() const { return error_; }
    bool Mounted() const { return mounted_; }
    // Used, in per mille, as the library reckons it: rounded up.
    int64_t UsedPerMille() const {
        struct statvfs s;
        if (statvfs(at_.c_str(), &s) != 0 || s.f_blocks == 0) {
            return -1;
        }
        const uint64_t used = s.f_blocks - s.f_bavail;
        return static_cast<int64_t>((used * 1000 + s.f_blocks - 1) / s.f_blocks);
    }

  private:
    fs::path at_;
    bool mounted_ = false;
    std::string error_;
};

// An 8 MiB tmpfs with three day folders of 384 KiB and a log whose disk
// limit is 500 per mille; a file of 3 MiB written beside them takes the
// disk over the limit. The folders made first are pruned until it is
// under again: each is named as it goes, with its files and bytes and the
// disk's use, and nothing else is.
TEST_F(VosklogPruneReport, EveryFolderTheDiskLimitDeletesIsNamed) {
    const fs::path logs = dir_.Path() / "disk";
    SmallDisk disk(logs, "size=8m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.Error();
    }
    for (const char* day : {"2026-01-01", "2026-01-02", "2026-01-03"}) {
        for (int i = 0; i < 3; ++i) {
            MakeFile(logs / "logfiles-2026/01" / day / ("app.log." + std::to_string(i)), 131072);
        }
    }
    const Tree before = ArchiveTree(logs);
    RunningTool tool({"-d", logs.string(), "-n", "app.log", "--disk-limit", "500"}, Err());
    ASSERT_TRUE(tool.Write("first\n"));
    ASSERT_TRUE(Eventually([&] { return fs::exists(logs / "app.log"); }));
    EXPECT_LE(disk.UsedPerMille(), 500);
    MakeFile(logs / "filler", 3 * 1048576);
    const int64_t over = disk.UsedPerMille();
    ASSERT_GT(over, 500);
    ASSERT_TRUE(Eventually([&] { return disk.UsedPerMille() <= 500; }, 10000))
        << disk.UsedPerMille() << " per mille\n"
        << ReadBytes(Err());
    ASSERT_TRUE(tool.Write("last\n"));
    tool.CloseInput();
    const int status = tool.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << ReadBytes(Err());

    std::map<std::string, Pruned> lines;
    ASSERT_TRUE(PruneLines(ReadBytes(Err()), logs, &lines));
    const Tree after = ArchiveTree(logs);
    const std::set<std::string> gone = Gone(before, after);
    EXPECT_FALSE(gone.empty());
    EXPECT_FALSE(after.folders.empty()) << "pruned past the limit";
    EXPECT_EQ(Removed(lines), gone) << ReadBytes(Err());
    int64_t files = 0;
    int64_t bytes = 0;
    for (const auto& [path, p] : lines) {
        int used = 0;
        int limit = 0;
        EXPECT_EQ(std::sscanf(p.reason.c_str(), "disk at %d per mille, over its limit of %d", &used,
                              &limit),
                  2)
            << p.reason;
        EXPECT_EQ(limit, 500);
        EXPECT_GT(used, 500);
        EXPECT_LE(used, over);
        EXPECT_EQ(after.folders.count(path), p.removed ? 0u : 1u) << path;
        files += p.files;
        bytes += p.bytes;
    }
    EXPECT_EQ(files, before.files - after.files);
    EXPECT_EQ(bytes, before.bytes - after.bytes);
    const std::vector<std::string> messages = test::Messages(logs / "app.log");
    EXPECT_EQ(messages, (std::vector<std::string>{"first", "last"}));
}

}  // namespace
}  // namespace vosklog
