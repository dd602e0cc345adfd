// What a caller that feeds a log itself is told and may ask for: whether a
// record was written, every move of the file with its path, a reopen of
// the path and a rotation at once.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "log/Log.h"
#include "support/LogCalls.h"
#include "support/RecordLines.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::MakeLog;
using test::ReadBytes;
using test::TempDir;

class Moves : public RotationListener {
  public:
    void OnRotated(const char* movedTo) override { paths.emplace_back(movedTo); }
    std::vector<std::string> paths;
};

WriteResult Data(Log* log, const std::string& text, int32_t level = 0) {
    return log->WriteData(level, text.data(), text.size());
}

std::vector<std::string> Messages(const fs::path& file) {
    std::vector<std::string> messages;
    for (const std::string& line : test::SplitLines(ReadBytes(file)).lines) {
        messages.push_back(line.size() >= test::kStampLength ? line.substr(test::kStampLength)
                                                             : line);
    }
    return messages;
}

TEST(LogRequestTest, ADataRecordSaysWhetherItWasWritten) {
    TempDir dir;
    auto log = MakeLog(dir.Path());
    EXPECT_EQ(Data(log.get(), "kept").status, WriteResult::kWritten);
    EXPECT_EQ(Data(log.get(), "over the threshold", 1).status, WriteResult::kSkipped);
    EXPECT_EQ(Messages(dir.Path() / "app.log"), std::vector<std::string>{"kept"});

    // A directory in the way: nothing can be opened, and the result says so.
    TempDir other;
    fs::create_directories(other.Path() / "app.log");
    auto blocked = MakeLog(other.Path());
    WriteResult r = Data(blocked.get(), "lost");
    EXPECT_EQ(r.status, WriteResult::kNotOpened);
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.error, EEXIST);
    fs::remove(other.Path() / "app.log");
    EXPECT_EQ(Data(blocked.get(), "again").status, WriteResult::kWritten);
    const std::vector<std::string> messages = Messages(other.Path() / "app.log");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("1 record not written since ", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1], "again");
}

TEST(LogRequestTest, RotateNowMovesANonEmptyFileAndTellsWhereTo) {
    TempDir dir;
    auto log = MakeLog(dir.Path());
    Moves moves;
    log->SetRotationListener(&moves);
    EXPECT_FALSE(log->RotateNow());  // nothing written: nothing to move
    Data(log.get(), "one");
    EXPECT_TRUE(log->RotateNow());
    const std::string backup = (dir.Path() / "app.log.bak").generic_string();
    ASSERT_EQ(moves.paths.size(), 1u);
    EXPECT_EQ(fs::path(moves.paths[0]), fs::path(backup));
    EXPECT_EQ(Messages(backup), std::vector<std::string>{"one"});
    EXPECT_FALSE(log->RotateNow());  // the fresh file is empty
    Data(log.get(), "two");
    EXPECT_EQ(Messages(dir.Path() / "app.log"), std::vector<std::string>{"two"});
    EXPECT_EQ(moves.paths.size(), 1u);
    log->SetRotationListener(nullptr);
}

TEST(LogRequestTest, ReopenPutsTheNextRecordsAtThePathAfterARename) {
    TempDir dir;
    auto log = MakeLog(dir.Path());
    Data(log.get(), "before");
    fs::rename(dir.Path() / "app.log", dir.Path() / "app.log.1");
    log->Reopen();
    Data(log.get(), "after");
    EXPECT_EQ(Messages(dir.Path() / "app.log.1"), std::vector<std::string>{"before"});
    EXPECT_EQ(Messages(dir.Path() / "app.log"), std::vector<std::string>{"after"});
    // Without a rename the same file goes on.
    log->Reopen();
    Data(log.get(), "more");
    EXPECT_EQ(Messages(dir.Path() / "app.log"), (std::vector<std::string>{"after", "more"}));
}

}  // namespace
}  // namespace vosk
