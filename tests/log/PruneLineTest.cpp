// The line that tells of a prune, and the log that writes it: one record
// per folder, whatever the level threshold, only with prune records on;
// the listener told either way.
#include "log/PruneLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/Log.h"
#include "support/LogCalls.h"
#include "support/RecordLines.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

PruneReport ByAge(int32_t days) {
    PruneReport report;
    report.reason = PruneReason::kAge;
    report.keepDays = days;
    return report;
}

PruneReport ByDisk(int32_t used, int32_t limit) {
    PruneReport report;
    report.reason = PruneReason::kDisk;
    report.disk = DiskUse{used, limit};
    return report;
}

PrunedEntry Entry(std::string path, int64_t files, int64_t bytes, bool removed) {
    PrunedEntry entry;
    entry.path = std::move(path);
    entry.files = files;
    entry.bytes = bytes;
    entry.removed = removed;
    return entry;
}

TEST(PruneLine, SaysWhatWentHowMuchAndWhy) {
    struct Case {
        PruneReport report;
        PrunedEntry entry;
        const char* directory;
        const char* line;
    };
    const Case cases[] = {
        {ByAge(7), Entry("logfiles-2026/12/2026-12-01", 3, 1048576, true), nullptr,
         "pruned logfiles-2026/12/2026-12-01: 3 files, 1048576 bytes, folder removed: older than "
         "7 days"},
        {ByAge(1), Entry("logfiles-2026/12", 0, 0, true), "",
         "pruned logfiles-2026/12: 0 files, 0 bytes, folder removed: older than 1 day"},
        {ByDisk(912, 900), Entry("logfiles-2026/12/2026-12-11", 21, 2202009, false), nullptr,
         "pruned logfiles-2026/12/2026-12-11: 21 files, 2202009 bytes, folder stays: disk at 912 "
         "per mille, over its limit of 900"},
        {ByDisk(951, 950), Entry("logfiles-2026", 1, 1, false), "/var/log/app",
         "pruned /var/log/app/logfiles-2026: 1 file, 1 byte, folder stays: disk at 951 per "
         "mille, over its limit of 950"},
        // Any name a folder can have stays on one line.
        {ByAge(7), Entry("logfiles-2026/12/a\nb\r\x7f\x01: c", 1, 5, true), "/tmp/x\ny",
         "pruned /tmp/x\\x0ay/logfiles-2026/12/a\\x0ab\\x0d\\x7f\\x01: c: 1 file, 5 bytes, folder "
         "removed: older than 7 days"},
        {ByAge(7), Entry("logfiles-2026/12/2026-12-01", 5000000000, 9000000000000, true), nullptr,
         "pruned logfiles-2026/12/2026-12-01: 5000000000 files, 9000000000000 bytes, folder "
         "removed: older than 7 days"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PruneLine(c.report, c.entry, c.directory), c.line);
    }
}

class Heard : public PruneListener {
  public:
    void OnPruned(const PruneReport& report) override { reports.push_back(report); }
    std::vector<PruneReport> reports;
};

std::vector<std::string> Messages(const test::TempDir& dir) {
    std::vector<std::string> messages;
    for (const std::string& line :
         test::SplitLines(test::ReadBytes(dir.Path() / "app.log")).lines) {
        messages.push_back(line.substr(test::kStampLength));
    }
    return messages;
}

TEST(PruneRecords, OneRecordPerFolderWhateverTheThresholdOnlyWhenOn) {
    PruneReport report = ByDisk(912, 900);
    report.entries.push_back(Entry("logfiles-2026/12", 2, 10, false));
    report.entries.push_back(Entry("logfiles-2026/12/2026-12-11", 21, 2100, false));
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on);
        test::TempDir dir;
        auto log = test::MakeLog(dir.Path());
        Heard heard;
        log->SetPruneListener(&heard);
        log->SetPruneRecords(on);
        test::Trace(*log, 0, "first");
        log->SetLevel(-5);
        log->TellPruned(PruneReport());  // nothing went: nothing told
        log->TellPruned(report);
        log->SetPruneListener(nullptr);
        log->TellPruned(report);
        ASSERT_EQ(heard.reports.size(), 1u);
        EXPECT_EQ(heard.reports[0].entries.size(), 2u);
        std::vector<std::string> expected = {"first"};
        if (on) {
            for (int told = 0; told < 2; ++told) {
                expected.push_back(PruneLine(report, report.entries[0]));
                expected.push_back(PruneLine(report, report.entries[1]));
            }
        }
        EXPECT_EQ(Messages(dir), expected);
    }
}

}  // namespace
}  // namespace vosk
