#include "WriteGuard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace vosklog {
namespace {

using vosk::WriteResult;

WriteResult Failed(WriteResult::Status status = WriteResult::kNotWritten, int error = ENOSPC) {
    WriteResult r;
    r.status = status;
    r.error = error;
    return r;
}

// A clock moved only by the waits, and a file that fails a given number of
// tries.
class WriteGuardTest : public ::testing::Test {
  protected:
    WriteGuard Make(bool dropWhenFull) {
        return WriteGuard(
            "/logs/app.log", dropWhenFull,
            WriteGuard::World{[this] { return nowMs_; },
                              [this](int ms) {
                                  waits_.push_back(ms);
                                  nowMs_ += ms;
                                  if (stopAfterWaits_ >= 0 &&
                                      static_cast<int>(waits_.size()) >= stopAfterWaits_) {
                                      stop_ = true;
                                  }
                              },
                              [this] { ++requestRounds_; }, [this] { return stop_; },
                              [this](const std::string& line) { reports_.push_back(line); }});
    }
    // Fails the next failures tries, then writes.
    std::function<WriteResult()> Attempt(WriteResult failure = Failed()) {
        return [this, failure] {
            ++tries_;
            if (failures_ > 0) {
                --failures_;
                return failure;
            }
            ++written_;
            return WriteResult();
        };
    }

    int64_t nowMs_ = 0;
    std::vector<int> waits_;
    int stopAfterWaits_ = -1;
    bool stop_ = false;
    int requestRounds_ = 0;
    std::vector<std::string> reports_;
    int failures_ = 0;
    int tries_ = 0;
    int written_ = 0;
};

TEST_F(WriteGuardTest, AWrittenLineSaysNothing) {
    WriteGuard guard = Make(false);
    guard.Write(Attempt());
    guard.Finish();
    EXPECT_EQ(written_, 1);
    EXPECT_TRUE(reports_.empty());
    EXPECT_TRUE(waits_.empty());
}

TEST_F(WriteGuardTest, AFailedLineIsTriedWithGrowingWaitsUntilWrittenAndReportedTwice) {
    WriteGuard guard = Make(false);
    failures_ = 12;
    guard.Write(Attempt());
    guard.Write(Attempt());  // the next line: no new episode
    EXPECT_EQ(written_, 2);
    EXPECT_EQ(tries_, 14);
    const std::vector<int> expected = {10, 20, 40, 80, 160, 320, 640, 1000, 1000, 1000, 1000, 1000};
    EXPECT_EQ(waits_, expected);
    // Requests are looked at after every wait: a reopen may mend the file.
    EXPECT_EQ(requestRounds_, 12);
    ASSERT_EQ(reports_.size(), 2u);
    EXPECT_NE(reports_[0].find("cannot write to /logs/app.log"), std::string::npos) << reports_[0];
    EXPECT_NE(reports_[0].find("No space left on device"), std::string::npos) << reports_[0];
    EXPECT_NE(reports_[0].find("reading no more input"), std::string::npos) << reports_[0];
    EXPECT_NE(reports_[1].find("held for 6.3 s"), std::string::npos) << reports_[1];
    EXPECT_EQ(guard.Unwritten(), 0u);
}

TEST_F(WriteGuardTest, AFileThatCannotBeOpenedIsSaidSo) {
    WriteGuard guard = Make(false);
    failures_ = 1;
    guard.Write(Attempt(Failed(WriteResult::kNotOpened, EACCES)));
    ASSERT_EQ(reports_.size(), 2u);
    EXPECT_NE(reports_[0].find("cannot open /logs/app.log: Permission denied"), std::string::npos)
        << reports_[0];
}

TEST_F(WriteGuardTest, EachEpisodeWarnsOnce) {
    WriteGuard guard = Make(false);
    for (int episode = 0; episode < 3; ++episode) {
        failures_ = 3;
        guard.Write(Attempt());
        guard.Write(Attempt());
    }
    EXPECT_EQ(written_, 6);
    EXPECT_EQ(reports_.size(), 6u);
}

TEST_F(WriteGuardTest, AStopWhileHeldTriesOnceMoreThenCountsEveryLineAsNotWritten) {
    WriteGuard guard = Make(false);
    failures_ = 1000;
    stopAfterWaits_ = 3;
    guard.Write(Attempt());
    // One try at first, one after each of the two waits before the stop,
    // one more after it.
    EXPECT_EQ(tries_, 4);
    const int triesBefore = tries_;
    guard.Write(Attempt());
    guard.Write(Attempt());
    EXPECT_EQ(tries_, triesBefore);  // never out of order
    EXPECT_EQ(guard.Unwritten(), 3u);
    EXPECT_EQ(written_, 0);
}

TEST_F(WriteGuardTest, AStopWhileHeldWritesTheLineWhenTheLastTryWorks) {
    WriteGuard guard = Make(false);
    // A try, a wait, a try, the wait that ends in the stop: the last try works.
    failures_ = 2;
    stopAfterWaits_ = 2;
    guard.Write(Attempt());
    guard.Write(Attempt());
    EXPECT_EQ(written_, 2);
    EXPECT_EQ(guard.Unwritten(), 0u);
}

TEST_F(WriteGuardTest, DropWhenFullCountsPerEpisodeAndInAll) {
    WriteGuard guard = Make(true);
    failures_ = 5;
    for (int i = 0; i < 6; ++i) {
        guard.Write(Attempt());
    }
    failures_ = 2;
    for (int i = 0; i < 2; ++i) {
        guard.Write(Attempt());
    }
    guard.Finish();
    EXPECT_TRUE(waits_.empty());  // never waits
    EXPECT_EQ(written_, 1);
    EXPECT_EQ(guard.Dropped(), 7u);
    ASSERT_EQ(reports_.size(), 4u);
    EXPECT_NE(reports_[0].find("dropping lines"), std::string::npos) << reports_[0];
    EXPECT_NE(reports_[1].find("5 lines dropped meanwhile"), std::string::npos) << reports_[1];
    EXPECT_NE(reports_[2].find("dropping lines"), std::string::npos) << reports_[2];
    EXPECT_NE(reports_[3].find("7 lines dropped in all"), std::string::npos) << reports_[3];
    EXPECT_NE(reports_[3].find("still cannot be written"), std::string::npos) << reports_[3];
}

}  // namespace
}  // namespace vosklog
