// A day folder that holds names of both forms, as on the day a log moves
// to this version: the older names ("<name>.YYYYMMDD-HHMMSS[-NNN]", local
// time) are read in the reader's zone and take their place in time among
// the UTC ones ("-mmmZ"), which a plain sort of the names does not give.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ReaderRun.h"
#include "support/TempDir.h"
#include "support/ZoneRule.h"

namespace vosklogread {
namespace {

namespace fs = std::filesystem;
using test::Tally;
using vosk::test::ReadBytes;
using vosk::test::TempDir;
using vosk::test::WriteBytes;

TEST(ArchiveNamesTest, OlderLocalNamesTakeTheirPlaceInTimeAmongUtcOnes) {
    // UTC+1 all year: "120000" local is 11:00 UTC.
    vosk::test::ZoneRule zone("XST-1");
    TempDir dir;
    const fs::path day = dir.Path() / "logfiles-2026" / "12" / "2026-12-11";
    fs::create_directories(day);
    struct File {
        const char* name;
        const char* stamp;  // of its one record, local
        const char* key;
    };
    // In time order.
    const File files[] = {
        {"app.log.20261211-103000-000Z", "2026-12-11 11:30:00.000", "n 0"},
        {"app.log.20261211-120000", "2026-12-11 12:00:00.000", "n 1"},
        {"app.log.20261211-120000-001", "2026-12-11 12:00:00.500", "n 2"},
        {"app.log.20261211-113000-000Z", "2026-12-11 12:30:00.000", "n 3"},
        {"app.log.20261211-130000", "2026-12-11 13:00:00.000", "n 4"},
        {"app.log.20261211-123000-000Z", "2026-12-11 13:30:00.000", "n 5"},
    };
    std::vector<std::string> names;
    for (const File& file : files) {
        WriteBytes(day / file.name, std::string("[") + file.stamp + "] " + file.key + " x\n");
        names.push_back(file.name);
    }
    // A plain sort puts the older names after the UTC ones of the hour
    // after them.
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NE(sorted, names);
    WriteBytes(dir.Path() / "app.log", "[2026-12-11 14:00:00.000] n 6 x\n");

    TempDir out;
    ASSERT_EQ(
        test::RunProgram({VOSKLOG_READ_PROGRAM, "-d", dir.Str(), "-n", "app.log", "--window", "0"},
                         out.Path() / "out", out.Path() / "err"),
        0)
        << ReadBytes(out.Path() / "err");
    Tally tally;
    tally.Add(ReadBytes(out.Path() / "out"));
    EXPECT_EQ(tally.order,
              (std::vector<std::string>{"n 0", "n 1", "n 2", "n 3", "n 4", "n 5", "n 6"}));
}

}  // namespace
}  // namespace vosklogread
