// The day archive through a log: backups kept under names that sort by
// time in the folder of their day, refusals that lose nothing, and day
// folders deleted by age.
#include "log/DayArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "log/Log.h"
#include "platform/Time.h"
#include "support/FakeClock.h"
#include "support/FileTree.h"
#include "support/LogCalls.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::MakeDir;
using test::MakeFile;
using test::MakeLink;
using test::ReadBytes;
using test::TempDir;
using test::Trace;
using test::WriteBytes;

// Every plain file beneath root, sorted by name.
std::vector<fs::path> FilesBeneath(const fs::path& root) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && !it->is_symlink(ec)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return files;
}

// "logfiles-YYYY/MM/YYYY-MM-DD" of a local calendar date.
std::string DayFolder(const std::tm& day) {
    char text[64];
    snprintf(text, sizeof(text), "logfiles-%04d/%02d/%04d-%02d-%02d", day.tm_year + 1900,
             day.tm_mon + 1, day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
    return text;
}

// Writes "file <n>" and then enough to fill the file: the next record
// starts a new one.
void FillFile(Log& log, int n) {
    Trace(log, 0, "file %d", n);
    const std::string big(Log::kMinimumSizeLimit, 'x');
    log.WriteData(0, big.data(), big.size(), true);
}

std::string FirstLine(const fs::path& file) {
    const std::string content = ReadBytes(file);
    const size_t end = content.find_first_of("\r\n");
    const size_t stamp = content.find("] ");
    return stamp == std::string::npos ? "" : content.substr(stamp + 2, end - stamp - 2);
}

TEST(DayArchiveTest, EverySizeRotationKeepsItsBackupUnderANameThatSortsByTime) {
    TempDir dir;
    auto log = test::MakeLog(dir.Path());
    log->SetArchive(3);
    constexpr int kFiles = 6;
    for (int n = 0; n < kFiles; ++n) {
        FillFile(*log, n);
    }
    Trace(*log, 0, "file %d", kFiles);
    // The current file and its backup, and every older one in the archive.
    EXPECT_EQ(FirstLine(dir.Path() / "app.log"), "file 6");
    EXPECT_EQ(FirstLine(dir.Path() / "app.log.bak"), "file 5");
    const std::vector<fs::path> archived = FilesBeneath(dir.Path());
    std::vector<fs::path> kept;
    for (const fs::path& file : archived) {
        if (file.parent_path() != dir.Path()) {
            kept.push_back(file);
        }
    }
    ASSERT_EQ(kept.size(), 5u);
    for (size_t n = 0; n < kept.size(); ++n) {
        SCOPED_TRACE(kept[n].string());
        EXPECT_EQ(FirstLine(kept[n]), "file " + std::to_string(n));
        // "app.log.YYYYMMDD-HHMMSS-mmmZ" in the folder of its local date
        // (the same as UTC's but near midnight).
        const std::string name = kept[n].filename().string();
        ASSERT_EQ(name.size(), 28u);
        EXPECT_EQ(name.substr(27), "Z");
        EXPECT_EQ(name.substr(0, 8), "app.log.");
        const std::string date = name.substr(8, 8);
        const fs::path expected =
            dir.Path() / ("logfiles-" + date.substr(0, 4)) / date.substr(4, 2) /
            (date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2));
        if (kept[n].parent_path() != expected) {
            EXPECT_EQ(kept[n].parent_path().parent_path().parent_path().parent_path(), dir.Path());
        }
        if (n > 0) {
            EXPECT_LT(kept[n - 1].filename().string(), name) << "names sort by time";
        }
    }
}

TEST(DayArchiveTest, ABackupGoesToTheDayOfItsLastRecord) {
    TempDir dir;
    auto log = test::MakeLog(dir.Path());
    log->SetArchive(3);
    FillFile(*log, 0);
    FillFile(*log, 1);
    // The backup's last record two days ago: it belongs to that day.
    const fs::path backup = dir.Path() / "app.log.bak";
    fs::last_write_time(backup, fs::last_write_time(backup) - std::chrono::hours(48));
    platform::HeldDirectoryPtr held(platform::DirectoryHold(dir.Str().c_str()));
    const int64_t written = platform::EntryIn(held.get(), "app.log.bak").writeTimeMs;
    std::tm day;
    std::tm utc;
    ASSERT_TRUE(platform::LocalCalendar(static_cast<time_t>(written / 1000), &day));
    ASSERT_TRUE(platform::UtcCalendar(static_cast<time_t>(written / 1000), &utc));
    FillFile(*log, 2);
    char name[64];
    snprintf(name, sizeof(name), "app.log.%04d%02d%02d-%02d%02d%02d-%03dZ", utc.tm_year + 1900,
             utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
             static_cast<int>(written % 1000));
    const fs::path archived = dir.Path() / DayFolder(day) / name;
    ASSERT_TRUE(fs::exists(archived));
    EXPECT_EQ(FirstLine(archived), "file 0");
    EXPECT_EQ(FirstLine(dir.Path() / "app.log.bak"), "file 1");
    EXPECT_EQ(FirstLine(dir.Path() / "app.log"), "file 2");
}

// Backups whose last write is one and the same millisecond, more than the
// 999 names a second once had room for: every one keeps a name of its own,
// also in a second archive (another process's) that finds the names taken.
TEST(DayArchiveTest, BackupsOfOneMillisecondAllKeepNamesOfTheirOwn) {
    TempDir dir;
    platform::HeldDirectoryPtr held(platform::DirectoryHold(dir.Str().c_str()));
    const fs::path backup = dir.Path() / "app.log.bak";
    WriteBytes(backup, "");
    const auto frozen = fs::last_write_time(backup);
    DayArchive mine;
    DayArchive theirs;
    mine.SetKeepDays(1);
    theirs.SetKeepDays(1);
    constexpr int kBackups = 1010;
    constexpr int kTheirs = 5;
    for (int n = 0; n < kBackups + kTheirs; ++n) {
        WriteBytes(backup, "backup " + std::to_string(n));
        fs::last_write_time(backup, frozen);
        ASSERT_TRUE((n < kBackups ? mine : theirs).Keep(held.get(), "app.log", "app.log.bak")) << n;
    }
    std::vector<fs::path> kept = FilesBeneath(dir.Path());
    ASSERT_EQ(kept.size(), static_cast<size_t>(kBackups + kTheirs));
    std::vector<std::string> contents;
    for (const fs::path& file : kept) {
        contents.push_back(ReadBytes(file));
    }
    for (int n = 0; n < kBackups; ++n) {
        EXPECT_EQ(contents[static_cast<size_t>(n)], "backup " + std::to_string(n))
            << "names sort in the order kept";
    }
}

TEST(DayArchiveTest, OffByDefaultTheBackupIsReplaced) {
    TempDir dir;
    auto log = test::MakeLog(dir.Path());
    for (int n = 0; n < 3; ++n) {
        FillFile(*log, n);
    }
    EXPECT_EQ(FirstLine(dir.Path() / "app.log.bak"), "file 1");
    // The old backup, moved aside, waits for the maintenance thread.
    EXPECT_EQ(FirstLine(dir.Path() / "app.log.bak.del"), "file 0");
    log->DeleteRetired();
    EXPECT_EQ(test::CountEntries(dir.Path()), 2);
}

// Where the archive cannot be made the backup is replaced as without it:
// the current file's records are never lost, and nothing outside the log's
// directory is touched.
TEST(DayArchiveTest, ARefusedArchiveLosesNoCurrentRecordAndTouchesNothingOutside) {
    std::tm today;
    ASSERT_TRUE(platform::LocalCalendar(std::time(nullptr), &today));
    const std::string day = DayFolder(today);
    const std::string year = day.substr(0, day.find('/'));
    const std::string month = day.substr(0, day.rfind('/'));
    struct Case {
        const char* what;
        // Lays out the refusal in the log's directory; false where it
        // cannot be made here.
        bool (*plant)(const fs::path& logs, const fs::path& outside, const std::string& year,
                      const std::string& month, const std::string& day);
    };
    const Case cases[] = {
        {"a file where the year folder should be",
         [](const fs::path& logs, const fs::path&, const std::string& y, const std::string&,
            const std::string&) {
             MakeFile(logs / y, "not a folder");
             return true;
         }},
        {"a file where the day folder should be",
         [](const fs::path& logs, const fs::path&, const std::string&, const std::string&,
            const std::string& d) {
             MakeFile(logs / d, "not a folder");
             return true;
         }},
        {"a link to a folder outside as the year folder",
         [](const fs::path& logs, const fs::path& outside, const std::string& y, const std::string&,
            const std::string&) {
             MakeDir(logs);
             return MakeLink(outside, logs / y, true);
         }},
        {"a link to a folder outside as the day folder",
         [](const fs::path& logs, const fs::path& outside, const std::string&, const std::string& m,
            const std::string& d) {
             MakeDir(logs / m);
             return MakeLink(outside, logs / d, true);
         }},
        {"a read-only month folder",
         [](const fs::path& logs, const fs::path&, const std::string&, const std::string& m,
            const std::string&) {
             MakeDir(logs / m);
             test::MakeReadOnly(logs / m);
             // A privileged user writes there all the same.
             std::error_code ec;
             const bool refused = !fs::create_directory(logs / m / "probe", ec);
             fs::remove(logs / m / "probe", ec);
             return refused;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        const fs::path logs = root.Path() / "logs";
        const fs::path outside = root.Path() / "outside";
        MakeFile(outside / "canary", "canary");
        if (!c.plant(logs, outside, year, month, day)) {
            std::printf("skipped: %s cannot be made here\n", c.what);
            continue;
        }
        auto log = test::MakeLog(logs);
        log->SetArchive(3);
        for (int n = 0; n < 4; ++n) {
            FillFile(*log, n);
        }
        EXPECT_EQ(FirstLine(logs / "app.log"), "file 3");
        EXPECT_EQ(FirstLine(logs / "app.log.bak"), "file 2");
        EXPECT_EQ(test::CountEntries(outside), 1);
        EXPECT_EQ(ReadBytes(outside / "canary"), "canary");
        std::error_code ec;
        fs::permissions(logs / month, fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

TEST(DayArchiveTest, AgePruningDeletesOnlyDayFoldersPastTheirDays) {
    TempDir root;
    const fs::path logs = root.Path() / "logs";
    const fs::path outside = root.Path() / "outside";
    MakeFile(outside / "2024-03-01/canary", "canary");
    const char* const deleted[] = {"logfiles-2024/03/2024-03-07", "logfiles-2024/02/2024-02-28",
                                   "logfiles-2023/12/2023-12-31"};
    const char* const kept[] = {"logfiles-2024/03/2024-03-08", "logfiles-2024/03/2024-03-10",
                                "logfiles-2024/03/notes", "logfiles-2024/03/2024-03-1",
                                "logfiles-2024/3x/2024-03-01"};
    for (const char* folder : deleted) {
        MakeFile(logs / folder / "app.log.20240101-000000");
        MakeDir(logs / folder / "nested");
    }
    for (const char* folder : kept) {
        MakeFile(logs / folder / "app.log.20240101-000000");
    }
    MakeFile(logs / "logfiles-2024/03/2024-03-02", "a file named like a day");
    MakeFile(logs / "2024-01-01/app.log", "outside the archive");
    const bool linked =
        MakeLink(outside / "2024-03-01", logs / "logfiles-2024/03/2024-03-01", true);

    test::FakeClock clock;
    clock.Set(2024, 3, 10, 12, 0, 0);
    std::tm today;
    ASSERT_TRUE(clock.LocalCalendar(clock.Time(), &today));
    platform::HeldDirectoryPtr held(platform::DirectoryHold(logs.string().c_str()));
    EXPECT_TRUE(PruneDaysOlderThan(held.get(), 0, today).entries.empty());
    for (const char* folder : deleted) {
        EXPECT_TRUE(fs::exists(logs / folder)) << folder << " deleted with 0 days";
    }
    const PruneReport report = PruneDaysOlderThan(held.get(), 2, today);
    EXPECT_EQ(report.reason, PruneReason::kAge);
    EXPECT_EQ(report.keepDays, 2);
    // Each day with its file, and each month and year folder it left empty;
    // logfiles-2024, not empty, is not named.
    std::map<std::string, std::pair<int64_t, bool>> told;
    for (const PrunedEntry& entry : report.entries) {
        EXPECT_TRUE(told.emplace(entry.path, std::make_pair(entry.files, entry.removed)).second)
            << entry.path << " told twice";
    }
    const std::map<std::string, std::pair<int64_t, bool>> expected = {
        {"logfiles-2024/03/2024-03-07", {1, true}},
        {"logfiles-2024/02/2024-02-28", {1, true}},
        {"logfiles-2023/12/2023-12-31", {1, true}},
        {"logfiles-2024/02", {0, true}},
        {"logfiles-2023/12", {0, true}},
        {"logfiles-2023", {0, true}},
    };
    EXPECT_EQ(told, expected);
    for (const char* folder : deleted) {
        EXPECT_FALSE(Exists(logs / folder)) << folder;
    }
    for (const char* folder : kept) {
        EXPECT_TRUE(fs::exists(logs / folder)) << folder;
    }
    EXPECT_FALSE(Exists(logs / "logfiles-2024/02"));
    EXPECT_FALSE(Exists(logs / "logfiles-2023"));
    EXPECT_TRUE(fs::exists(logs / "logfiles-2024/03/2024-03-02"));
    EXPECT_TRUE(fs::exists(logs / "2024-01-01/app.log"));
    if (linked) {
        EXPECT_TRUE(Exists(logs / "logfiles-2024/03/2024-03-01"));
    }
    EXPECT_EQ(ReadBytes(outside / "2024-03-01/canary"), "canary");
}

TEST(DayArchiveTest, ALogPrunesItsArchiveByItsOwnClockAndDays) {
    TempDir dir;
    test::FakeClock clock;
    clock.Set(2024, 3, 10, 12, 0, 0);
    Log log(&clock);
    log.SetDirectory(dir.Str().c_str());
    log.SetNameAndLevel("app.log", 0);
    Trace(log, 0, "opens the file");
    MakeDir(dir.Path() / "logfiles-2024/03/2024-03-06");
    MakeDir(dir.Path() / "logfiles-2024/03/2024-03-07");
    log.PruneArchiveByAge();  // off: nothing goes
    EXPECT_TRUE(fs::exists(dir.Path() / "logfiles-2024/03/2024-03-06"));
    log.SetArchive(3);
    log.PruneArchiveByAge();
    EXPECT_FALSE(fs::exists(dir.Path() / "logfiles-2024/03/2024-03-06"));
    EXPECT_TRUE(fs::exists(dir.Path() / "logfiles-2024/03/2024-03-07"));
    clock.Advance(24 * 3600);
    log.PruneArchiveByAge();
    EXPECT_FALSE(fs::exists(dir.Path() / "logfiles-2024/03/2024-03-07"));
}

}  // namespace
}  // namespace vosk
