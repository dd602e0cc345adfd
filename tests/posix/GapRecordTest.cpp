// Records lost to a full disk are told in the log: a host (through the
// exports) whose four threads log while the disk fills and empties again
// and again. The gap records' counts add up to the records missing,
// exactly; with the option off there are none. And when room comes back a
// page at a time, thousands of times, no record is glued to or torn by
// another.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>

#include "support/RecordLines.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::Record;
using test::TempDir;

constexpr int kThreads = 4;
constexpr int kPerThread = 5000;

struct Outcome {
    std::string hostOutput;
    std::set<std::pair<int, int>> records;
    int duplicates = 0;
    uint64_t told = 0;  // the gap records' counts, added up
    int gapRecords = 0;
    std::set<std::string> reasons;
    std::vector<std::string> others;  // lines neither (cut records)
    size_t bytes = 0;
};

// The whole text of a reason a gap record gives: a gap record cut inside
// it is not whole, and tells its count again later.
bool IsReason(const std::string& text) {
    for (const int error : {ENOSPC, EFBIG, EDQUOT}) {
        if (text == std::strerror(error)) {
            return true;
        }
    }
    return text == "no file open";
}

// How the host's disk fills: emptied every 30 ms on a 4 MiB tmpfs, or
// room of a page or two coming and going on a 16 MiB one.
struct Disk {
    const char* size;
    const char* mode;
    int perThread;
};
constexpr Disk kFillsAndEmpties{"4m", "", kPerThread};
constexpr Disk kFlickers{"16m", "flicker", 30000};

// Runs the host in a private mount namespace on a tmpfs, and reads the log
// it leaves (copied out before the namespace goes).
bool RunHost(const std::string& gaps, Outcome* out, std::string* skip,
             const Disk& how = kFillsAndEmpties) {
    if (access("/usr/bin/unshare", X_OK) != 0) {
        *skip = "unshare is not installed";
        return false;
    }
    TempDir dir;
    const fs::path disk = dir.Path() / "disk";
    const fs::path copy = dir.Path() / "copy";
    fs::create_directories(disk);
    fs::create_directories(copy);
    const fs::path script = dir.Path() / "run.sh";
    std::ofstream(script) << "mount -t tmpfs -o size=" << how.size
                          << " tmpfs \"$1\" 2>/dev/null || exit 77\n"
                             "\"$2\" \"$3\" \"$1\" \"$5\" \"$6\" \"$7\" $8\n"
                             "rc=$?\n"
                             "cp \"$1\"/gap.log* \"$4\"/ 2>/dev/null\n"
                             "exit $rc\n";
    const fs::path output = dir.Path() / "out.txt";
    const std::string command = "/usr/bin/unshare -m --propagation private sh " + script.string() +
                                " " + disk.string() + " " + VOSK_GAP_HOST + " " + VOSK_LIBRARY +
                                " " + copy.string() + " " + std::to_string(kThreads) + " " +
                                std::to_string(how.perThread) + " " + gaps + " " + how.mode +
                                " > " + output.string() + " 2>&1";
    const int status = std::system(command.c_str());
    out->hostOutput = ReadBytes(output);
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 77 || WEXITSTATUS(status) == 1) &&
        out->hostOutput.empty()) {
        *skip = "a file system cannot be mounted here";
        return false;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out->hostOutput;
    const std::regex gap(
        R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] (\d+) records? not written since )"
        R"((\d{4}-\d\d-\d\d )?\d\d:\d\d:\d\d\.\d{3}: (.+))");
    for (const char* name : {"gap.log.bak", "gap.log"}) {
        const std::string bytes = ReadBytes(copy / name);
        out->bytes += bytes.size();
        for (const std::string& line : test::SplitLines(bytes).lines) {
            Record r;
            std::smatch m;
            if (test::ParseRecord(line, &r)) {
                out->duplicates += out->records.insert({r.thread, r.number}).second ? 0 : 1;
            } else if (std::regex_match(line, m, gap) && IsReason(m[3])) {
                out->told += std::stoull(m[1]);
                ++out->gapRecords;
                out->reasons.insert(m[3]);
            } else {
                out->others.push_back(line);
            }
        }
    }
    return true;
}

// True when line is the start of a record that is not in the file whole.
bool IsCutRecord(const std::string& line, const Outcome& out) {
    Record r;
    if (line.size() <= test::kStampLength ||
        std::sscanf(line.c_str() + test::kStampLength, "t%d n%d", &r.thread, &r.number) != 2) {
        return test::StampShape(line, std::min(line.size(), test::kStampLength));
    }
    // The number itself may be cut: "n27" may be the start of n2731.
    const std::string number = std::to_string(r.number);
    for (int n = 0; n < kFlickers.perThread; ++n) {
        if (std::to_string(n).rfind(number, 0) == 0 && test::IsRecordPrefix(line, {r.thread, n}) &&
            out.records.count({r.thread, n}) == 0) {
            return true;
        }
    }
    return false;
}

TEST(GapRecords, TheirCountsAddUpToTheRecordsMissingExactly) {
    Outcome out;
    std::string skip;
    if (!RunHost("default", &out, &skip)) {
        GTEST_SKIP() << skip;
    }
    const uint64_t written = kThreads * kPerThread + 1;
    const uint64_t missing = written - out.records.size();
    std::printf(
        "%s%llu records written, %zu in the file (%zu cut short), %llu told missing in %d "
        "gap records\n",
        out.hostOutput.c_str(), static_cast<unsigned long long>(written), out.records.size(),
        out.others.size(), static_cast<unsigned long long>(out.told), out.gapRecords);
    EXPECT_GT(missing, 0u) << "the disk never refused a record";
    EXPECT_EQ(out.told, missing);
    EXPECT_GE(out.gapRecords, 1);
    EXPECT_EQ(out.reasons, (std::set<std::string>{std::strerror(ENOSPC)}));
    // The last record, written with room, is there, and told every gap.
    EXPECT_EQ(out.records.count({99, 0}), 1u);
    EXPECT_EQ(out.duplicates, 0);
    // A record cut short where the room ended is lost as well, and
    // counted; nothing else is in the file.
    for (const std::string& line : out.others) {
        EXPECT_TRUE(IsCutRecord(line, out)) << "neither a record nor a gap record: " << line;
    }
}

// True when the line is the start of a record missing from the file, or of
// a gap record: what a write cut short leaves, on a line of its own.
bool IsMarkedCut(const std::string& line, const Outcome& out) {
    if (line.size() <= test::kStampLength) {
        return test::StampShape(line, line.size());
    }
    if (!test::StampShape(line, test::kStampLength)) {
        return false;
    }
    const std::string message = line.substr(test::kStampLength);
    const size_t digits = message.find_first_not_of("0123456789");
    if (digits != 0) {
        const std::string rest = digits == std::string::npos ? "" : message.substr(digits);
        for (const std::string told :
             {" records not written since ", " record not written since "}) {
            if (told.rfind(rest, 0) == 0 || rest.rfind(told, 0) == 0) {
                return true;
            }
        }
        return false;
    }
    Record r;
    if (std::sscanf(message.c_str(), "t%d n%d", &r.thread, &r.number) != 2) {
        for (int t = 0; t < kThreads; ++t) {
            if (("t" + std::to_string(t) + " n").rfind(message, 0) == 0) {
                return true;
            }
        }
        return false;
    }
    // The number itself may be cut: "n27" may be the start of n2731.
    const std::string number = std::to_string(r.number);
    const bool numberWhole = message.size() > message.find(" n") + 2 + number.size();
    for (int n = 0; n < kFlickers.perThread; ++n) {
        if ((numberWhole ? n == r.number : std::to_string(n).rfind(number, 0) == 0) &&
            test::IsRecordPrefix(line, {r.thread, n}) && out.records.count({r.thread, n}) == 0) {
            return true;
        }
    }
    return false;
}

// Room that ends inside a record and comes back before the next write: no
// record may start anywhere but at a line's start (glued to what a cut
// left), and no line may hold a record that is neither whole nor a cut on
// a line of its own (a record finished by a later write, another record
// between its parts). The gap records still count exactly.
TEST(GapRecords, RoomComingAndGoingGluesAndTearsNoRecord) {
    Outcome out;
    std::string skip;
    if (!RunHost("default", &out, &skip, kFlickers)) {
        GTEST_SKIP() << skip;
    }
    int glued = 0;
    int torn = 0;
    int cuts = 0;
    for (const std::string& line : out.others) {
        if (line.find('[', 1) != std::string::npos) {
            ++glued;
            ADD_FAILURE() << "glued: " << line.substr(0, 200);
        } else if (IsMarkedCut(line, out)) {
            ++cuts;
        } else {
            ++torn;
            ADD_FAILURE() << "torn: " << line.substr(0, 200);
        }
    }
    const uint64_t written = kThreads * kFlickers.perThread + 1;
    const uint64_t missing = written - out.records.size();
    std::printf(
        "%s%zu bytes, %llu records written, %zu whole, %d cut on a line of their own, "
        "%d glued, %d torn; %llu told missing in %d gap records\n",
        out.hostOutput.c_str(), out.bytes, static_cast<unsigned long long>(written),
        out.records.size(), cuts, glued, torn, static_cast<unsigned long long>(out.told),
        out.gapRecords);
    EXPECT_GT(cuts, 0) << "room never ended inside a record";
    EXPECT_EQ(glued, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(out.told, missing);
    EXPECT_EQ(out.duplicates, 0);
    EXPECT_EQ(out.records.count({99, 0}), 1u);
}

TEST(GapRecords, OffTheyAreNotWritten) {
    Outcome out;
    std::string skip;
    if (!RunHost("off", &out, &skip)) {
        GTEST_SKIP() << skip;
    }
    EXPECT_LT(out.records.size(), static_cast<size_t>(kThreads * kPerThread + 1));
    EXPECT_EQ(out.gapRecords, 0);
    EXPECT_EQ(out.records.count({99, 0}), 1u);
}

}  // namespace
}  // namespace vosk
