// Writes that cannot land: a file size limit (RLIMIT_FSIZE, with SIGXFSZ
// ignored as a host must) and a small tmpfs that fills up. Records that
// cannot be written are dropped, the host goes on, what is already on disk
// stays as it was, and once there is room again later records land as
// whole lines, at the latest after the next rotation.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "log/Log.h"
#include "log/LogFile.h"
#include "support/FakeClock.h"
#include "support/LogCalls.h"
#include "support/LogTestPeer.h"
#include "support/RecordLines.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::MakeLog;
using test::Record;
using test::TempDir;
using test::Trace;

// How a record reaches the file: made under the log's lock, or rendered
// beforehand and written after the lock is let go (a busy log).
enum class Path { kUnderLock, kRenderedFirst };

void WriteRange(Log* log, int first, int end, Path path = Path::kUnderLock) {
    for (int n = first; n < end; ++n) {
        if (path == Path::kRenderedFirst) {
            test::LogTestPeer::RenderNextBeforeLock(*log);
        }
        Trace(*log, 0, test::kRecordFormat, 0, n, test::Payload(0, n).c_str());
    }
}

// Sets a soft limit on the size of files this process writes, with SIGXFSZ
// ignored; everything is restored when it goes.
class FileSizeLimit {
  public:
    FileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        Lift();
        signal(SIGXFSZ, previous_);
    }
    bool Set(size_t bytes) {
        rlimit limit = saved_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    void Lift() { setrlimit(RLIMIT_FSIZE, &saved_); }

  private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

// What a file holds: its whole records, the records that told of records
// not written (the counts they told added up), and the lines that are
// neither (records cut short where the room ended; a gap record may be cut
// short too, and is then told again later).
struct Contents {
    std::vector<Record> records;
    int gapRecords = 0;
    int64_t told = 0;
    int cutGapRecords = 0;
    std::vector<std::string> fragments;
    bool endsWhole = true;
};

// The count a whole gap record tells, or -1; cut is set for the start of
// one.
int64_t GapCount(const std::string& line, bool* cut) {
    *cut = false;
    if (line.size() <= test::kStampLength || !test::StampShape(line, test::kStampLength)) {
        return -1;
    }
    const std::string text = line.substr(test::kStampLength);
    const size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0) {
        return -1;
    }
    const std::string rest = text.substr(digits == std::string::npos ? text.size() : digits);
    for (const std::string words : {" records not written since ", " record not written since "}) {
        if (rest.size() > words.size() && rest.compare(0, words.size(), words) == 0 &&
            rest.find(": ", words.size()) != std::string::npos) {
            return std::stoll(text.substr(0, digits));
        }
        if (words.compare(0, std::min(rest.size(), words.size()), rest, 0,
                          std::min(rest.size(), words.size())) == 0) {
            *cut = true;
        }
    }
    return -1;
}

Contents Read(const fs::path& file) {
    Contents out;
    test::FileLines lines = test::SplitLines(test::ReadBytes(file));
    out.endsWhole = lines.endsWhole;
    for (const std::string& line : lines.lines) {
        Record r;
        bool cut = false;
        if (test::ParseRecord(line, &r)) {
            out.records.push_back(r);
        } else if (const int64_t count = GapCount(line, &cut); count >= 0) {
            ++out.gapRecords;
            out.told += count;
        } else if (cut) {
            ++out.cutGapRecords;
        } else {
            out.fragments.push_back(line);
        }
    }
    return out;
}

// The record numbers in order.
std::vector<int> Numbers(const Contents& contents) {
    std::vector<int> numbers;
    for (const Record& r : contents.records) {
        numbers.push_back(r.number);
    }
    return numbers;
}

std::vector<int> Range(int first, int end) {
    std::vector<int> numbers;
    for (int n = first; n < end; ++n) {
        numbers.push_back(n);
    }
    return numbers;
}

// Records first..end-1 of the file are whole and in order; those written
// while there was no room are dropped, a prefix of them may have landed,
// and at most one was cut short.
void ExpectDroppedThenBack(const Contents& contents, int landedBefore, int droppedEnd,
                           int backEnd) {
    std::vector<int> numbers = Numbers(contents);
    ASSERT_GE(numbers.size(), static_cast<size_t>(landedBefore));
    std::vector<int> head(numbers.begin(), numbers.begin() + landedBefore);
    EXPECT_EQ(head, Range(0, landedBefore)) << "records on disk before the failure changed";
    size_t at = static_cast<size_t>(landedBefore);
    int next = landedBefore;
    while (at < numbers.size() && numbers[at] == next && next < droppedEnd) {
        ++at;
        ++next;
    }
    EXPECT_LT(next, droppedEnd) << "no record was dropped: the failure never came";
    std::vector<int> tail(numbers.begin() + static_cast<long>(at), numbers.end());
    EXPECT_EQ(tail, Range(droppedEnd, backEnd)) << "records written once there was room again";
    // The records dropped are told, exactly, once room came back.
    EXPECT_GE(contents.gapRecords, 1);
    EXPECT_EQ(contents.told, backEnd - static_cast<int64_t>(numbers.size()));
    EXPECT_LE(contents.fragments.size(), 1u);
    for (const std::string& fragment : contents.fragments) {
        EXPECT_TRUE(test::IsRecordPrefix(fragment, Record{0, next}))
            << "stray text: " << fragment.substr(0, 80);
    }
    EXPECT_TRUE(contents.endsWhole);
}

TEST(FullDisk, RecordsPastAFileSizeLimitAreDroppedAndReturnWhenItIsLifted) {
    for (Path path : {Path::kUnderLock, Path::kRenderedFirst}) {
        SCOPED_TRACE(path == Path::kUnderLock ? "under the lock" : "rendered first");
        TempDir dir;
        auto owned = MakeLog(dir.Path(), "limited.log");
        Log* log = owned.get();
        const fs::path file = dir.Path() / "limited.log";

        WriteRange(log, 0, 100, path);
        const std::string before = test::ReadBytes(file);
        {
            FileSizeLimit limit;
            ASSERT_TRUE(limit.Set(before.size() + 3000));
            WriteRange(log, 100, 300, path);
            std::string during = test::ReadBytes(file);
            EXPECT_EQ(during.compare(0, before.size(), before), 0);
            EXPECT_LE(during.size(), before.size() + 3000);
        }
        WriteRange(log, 300, 310, path);
        ExpectDroppedThenBack(Read(file), 100, 300, 310);
    }
}

TEST(FullDisk, UnderAStandingFileSizeLimitRecordsLandAgainAfterTheNextRotation) {
    TempDir dir;
    // The smallest size limit, 1 MiB, counts what the log tried to write;
    // the file itself cannot grow beyond 200 KB.
    auto owned = MakeLog(dir.Path(), "standing.log");
    Log* log = owned.get();
    FileSizeLimit limit;
    ASSERT_TRUE(limit.Set(200000));
    // Well beyond 1 MiB of records: one rotation, and the new file fills too.
    WriteRange(log, 0, 25000);
    limit.Lift();

    Contents backup = Read(dir.Path() / "standing.log.bak");
    Contents current = Read(dir.Path() / "standing.log");
    ASSERT_FALSE(backup.records.empty());
    ASSERT_FALSE(current.records.empty()) << "nothing landed after the rotation";
    std::vector<int> old = Numbers(backup);
    std::vector<int> now = Numbers(current);
    EXPECT_EQ(old, Range(0, static_cast<int>(old.size())));
    EXPECT_GT(now.front(), old.back() + 1) << "records past the limit should have been dropped";
    EXPECT_EQ(now, Range(now.front(), now.front() + static_cast<int>(now.size())));
    EXPECT_LE(backup.fragments.size(), 1u);
    EXPECT_LE(current.fragments.size(), 1u);
    // What the new file took first told of every record dropped before it
    // (those dropped once it was full too are told by no record: none
    // landed after them).
    EXPECT_EQ(backup.told + current.told, now.front() - old.back() - 1);
}

// Mounts a tmpfs of the given size; unmounts it when it goes.
class SmallFileSystem {
  public:
    SmallFileSystem(const fs::path& at, const char* size) : at_(at) {
        fs::create_directories(at);
        std::string options = std::string("size=") + size;
        mounted_ = mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0;
        error_ = mounted_ ? 0 : errno;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            umount2(at_.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return mounted_; }
    const char* Error() const { return std::strerror(error_); }

  private:
    fs::path at_;
    bool mounted_ = false;
    int error_ = 0;
};

// Fills the file system that holds path; false when it never got full.
bool Fill(const fs::path& path) {
    FILE* filler = std::fopen(path.c_str(), "wb");
    if (filler == nullptr) {
        return false;
    }
    std::vector<char> block(4096, 'f');
    bool full = false;
    for (int i = 0; i < 100000 && !full; ++i) {
        full = std::fwrite(block.data(), 1, block.size(), filler) != block.size() ||
               std::fflush(filler) != 0;
    }
    // Single bytes into whatever is left of the last page.
    for (int i = 0; i < 4096 && full; ++i) {
        if (std::fputc('f', filler) == EOF || std::fflush(filler) != 0) {
            clearerr(filler);
        }
    }
    std::fclose(filler);
    return full;
}

TEST(FullDisk, AFullFileSystemDropsRecordsAndTakesThemAgainOnceSpaceReturns) {
    TempDir dir;
    const fs::path mountPoint = dir.Path() / "small";
    SmallFileSystem small(mountPoint, "256k");
    if (!small.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << small.Error();
    }
    const fs::path file = mountPoint / "full.log";
    {
        auto owned = MakeLog(mountPoint, "full.log");
        Log* log = owned.get();
        WriteRange(log, 0, 100);
        const std::string before = test::ReadBytes(file);
        ASSERT_TRUE(Fill(mountPoint / "filler"));
        WriteRange(log, 100, 300);
        EXPECT_EQ(test::ReadBytes(file).compare(0, before.size(), before), 0);
        fs::remove(mountPoint / "filler");
        WriteRange(log, 300, 310);
    }
    ExpectDroppedThenBack(Read(file), 100, 300, 310);
}

// A record written outside the log's lock is cut short in a file that a
// rotation has replaced meanwhile: the cut is the old file's, and the new
// file's first line does not start with a line end meant for the old one.
// (Marked by descriptor number, the cut went to whichever file the number
// named by then.) The rest of the record is not written after the cut.
TEST(FullDisk, ACutLineIsMarkedOnTheFileItWasCutIn) {
    TempDir dir;
    test::FakeClock clock;
    LogFile file(&clock);
    std::tm now{};
    now.tm_year = 124;
    now.tm_mday = 5;
    file.Open(dir.Str().c_str(), "app.log", now, Log::kMinimumSizeLimit);
    SharedFile old = file.Share();
    ASSERT_NE(old, nullptr);
    file.Open(dir.Str().c_str(), "app.log", now, Log::kMinimumSizeLimit);
    ASSERT_NE(file.Share(), old) << "the rotation opened a new file";
    {
        FileSizeLimit limit;
        ASSERT_TRUE(limit.Set(10));
        old->WriteAside(std::string(99, 'o').append("\n").c_str(), 100);
    }
    EXPECT_EQ(test::ReadBytes(dir.Path() / "app.log.bak"), std::string(10, 'o'));
    file.Stream().Write("next\n", 5);
    file.Stream().Sync();
    EXPECT_EQ(test::ReadBytes(dir.Path() / "app.log"), "next\n");
    EXPECT_TRUE(old->CutLine()) << "the old file keeps its cut";
    old->WriteAside("again\n", 6);
    EXPECT_EQ(test::ReadBytes(dir.Path() / "app.log.bak"), std::string(10, 'o') + "\nagain\n");
    EXPECT_FALSE(old->CutLine());
}

}  // namespace
}  // namespace vosk
