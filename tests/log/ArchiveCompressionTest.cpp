// The day archive's compression to gzip: every archived file's bytes come
// back whole from its ".gz", and a stop between any two steps leaves the
// file whole (plain or compressed) for the next pass to finish.
#include "log/ArchiveCompression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "log/Log.h"
#include "platform/HeldDirectory.h"
#include "support/LogCalls.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// The bytes of a gzip file as zlib reads them; "!" when it is not one.
std::string Gunzip(const fs::path& path) {
    gzFile in = gzopen(path.string().c_str(), "rb");
    if (in == nullptr) {
        return "!";
    }
    std::string bytes;
    char buffer[65536];
    int n = 0;
    while ((n = gzread(in, buffer, sizeof(buffer))) > 0) {
        bytes.append(buffer, static_cast<size_t>(n));
    }
    const bool whole = n == 0 && gzclose(in) == Z_OK;
    return whole ? bytes : "!";
}

std::string Records(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "[2026-12-11 05:41:07.123] record " + std::to_string(i) + " of the test\n";
    }
    return text;
}

struct Held {
    explicit Held(const fs::path& path) : dir(platform::DirectoryHold(path.string().c_str())) {}
    ~Held() { platform::DirectoryRelease(dir); }
    platform::HeldDirectory* dir;
};

constexpr char kName[] = "app.log.20261211-054107-123Z";

TEST(ArchiveCompression, ArchivedNamesOfTheLogAreRecognised) {
    struct Case {
        const char* name;
        bool archived;
    };
    const Case cases[] = {
        {"app.log.20261211-054107", true},
        {"app.log.20261211-054107-001", true},
        {"app.log.20261211-054107-123Z", true},
        {"app.log", false},
        {"app.log.bak", false},
        {"app.log.20261211-054107.gz", false},
        {"app.log.20261211-054107-123Z.gz.tmp", false},
        {"app.log.20261211-05410", false},
        {"app.log.2026121x-054107", false},
        {"app.log.20261211-054107-12", false},
        {"app.log.20261211-054107-123Y", false},
        {"other.log.20261211-054107", false},
        {"app.logx20261211-054107", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsArchivedName(c.name, "app.log"), c.archived) << c.name;
    }
}

TEST(ArchiveCompression, TheGzipHoldsTheFileWholeAndThePlainFileGoes) {
    TempDir dir;
    const std::string content = Records(20000);
    WriteBytes(dir.Path() / kName, content);
    Held day(dir.Path());
    int64_t in = 0;
    int64_t out = 0;
    EXPECT_EQ(CompressArchived(day.dir, kName, nullptr, &in, &out), CompressResult::kCompressed);
    EXPECT_FALSE(fs::exists(dir.Path() / kName));
    EXPECT_FALSE(fs::exists(dir.Path() / (std::string(kName) + ".gz.tmp")));
    EXPECT_EQ(Gunzip(dir.Path() / (std::string(kName) + ".gz")), content);
    EXPECT_EQ(in, static_cast<int64_t>(content.size()));
    EXPECT_EQ(out, static_cast<int64_t>(fs::file_size(dir.Path() / (std::string(kName) + ".gz"))));
    EXPECT_LT(out * 5, in);
    // Nothing left to do: no plain file.
    EXPECT_EQ(CompressArchived(day.dir, kName), CompressResult::kNone);
    EXPECT_EQ(CompressArchived(day.dir, "missing"), CompressResult::kNone);
}

CompressStep stopAt;
bool StopThere(CompressStep step) {
    return step == stopAt;
}
// The file AppendMeanwhile adds a record to.
fs::path appendTarget;
bool AppendMeanwhile(CompressStep) {
    std::ofstream(appendTarget, std::ios::binary | std::ios::app) << "a late record\n";
    return false;
}

// A stop after each step: the plain file is always whole, and a ".gz" is
// there only whole; the next pass finishes and leaves one whole ".gz".
TEST(ArchiveCompression, AStopAtAnyStepLeavesTheFileWholeAndTheNextPassFinishes) {
    for (CompressStep step : {CompressStep::kTemporaryWritten, CompressStep::kRenamed}) {
        SCOPED_TRACE(static_cast<int>(step));
        TempDir dir;
        const std::string content = Records(3000);
        const fs::path plain = dir.Path() / kName;
        const fs::path gz = dir.Path() / (std::string(kName) + ".gz");
        const fs::path temporary = dir.Path() / (std::string(kName) + ".gz.tmp");
        WriteBytes(plain, content);
        Held day(dir.Path());
        stopAt = step;
        EXPECT_EQ(CompressArchived(day.dir, kName, &StopThere), CompressResult::kStopped);
        EXPECT_EQ(ReadBytes(plain), content);
        if (step == CompressStep::kTemporaryWritten) {
            EXPECT_TRUE(fs::exists(temporary));
            EXPECT_FALSE(fs::exists(gz));
        } else {
            EXPECT_FALSE(fs::exists(temporary));
            EXPECT_EQ(Gunzip(gz), content);
        }
        EXPECT_EQ(CompressArchived(day.dir, kName), CompressResult::kCompressed);
        EXPECT_FALSE(fs::exists(plain));
        EXPECT_FALSE(fs::exists(temporary));
        EXPECT_EQ(Gunzip(gz), content);
    }
}

// A file that grows while it is read (a writer still held it) stays plain,
// with the late record, and nothing else is left.
TEST(ArchiveCompression, AFileWrittenMeanwhileStaysPlainForLater) {
    TempDir dir;
    const std::string content = Records(3000);
    const fs::path plain = dir.Path() / kName;
    WriteBytes(plain, content);
    appendTarget = plain;
    Held day(dir.Path());
    EXPECT_EQ(CompressArchived(day.dir, kName, &AppendMeanwhile), CompressResult::kChanged);
    EXPECT_EQ(ReadBytes(plain), content + "a late record\n");
    EXPECT_FALSE(fs::exists(dir.Path() / (std::string(kName) + ".gz")));
    EXPECT_FALSE(fs::exists(dir.Path() / (std::string(kName) + ".gz.tmp")));
    EXPECT_EQ(CompressArchived(day.dir, kName), CompressResult::kCompressed);
    EXPECT_EQ(Gunzip(dir.Path() / (std::string(kName) + ".gz")), content + "a late record\n");
}

// Writes "file <n>" and then enough to fill the file: the next record
// starts a new one.
void FillFile(Log& log, int n) {
    test::Trace(log, 0, "file %d", n);
    const std::string big(Log::kMinimumSizeLimit, 'x');
    log.WriteData(0, big.data(), big.size(), true);
}

std::vector<fs::path> ArchivedFiles(const fs::path& root) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && entry.path().parent_path() != root) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Through a log: each file the archive keeps is compressed by the pass
// after it; with the sweep, so are plain archived files found (a stop
// before their pass) and leftover temporaries go. Other names stay.
TEST(ArchiveCompression, ALogCompressesWhatItsArchiveKeeps) {
    TempDir dir;
    auto log = test::MakeLog(dir.Path());
    log->SetArchive(3);
    log->SetCompress(true);
    for (int n = 0; n < 4; ++n) {
        FillFile(*log, n);
    }
    test::Trace(*log, 0, "file 4");
    std::vector<fs::path> archived = ArchivedFiles(dir.Path());
    ASSERT_EQ(archived.size(), 3u);
    const fs::path day = archived[0].parent_path();
    WriteBytes(day / "app.log.20200101-000000", "found plain\n");
    WriteBytes(day / "app.log.20200101-000001.gz.tmp", "left by a stop");
    WriteBytes(day / "notes.txt", "not the log's\n");
    log->CompressArchive(false);
    EXPECT_TRUE(fs::exists(day / "app.log.20200101-000000"));
    std::vector<std::string> firsts;
    for (const fs::path& file : ArchivedFiles(dir.Path())) {
        if (file.extension() == ".gz") {
            const std::string text = Gunzip(file);
            firsts.push_back(text.substr(text.find("] ") + 2, 6));
        }
    }
    std::sort(firsts.begin(), firsts.end());
    EXPECT_EQ(firsts, (std::vector<std::string>{"file 0", "file 1", "file 2"}));
    log->CompressArchive(true);
    EXPECT_EQ(Gunzip(day / "app.log.20200101-000000.gz"), "found plain\n");
    EXPECT_FALSE(fs::exists(day / "app.log.20200101-000000"));
    EXPECT_FALSE(fs::exists(day / "app.log.20200101-000001.gz.tmp"));
    EXPECT_EQ(ReadBytes(day / "notes.txt"), "not the log's\n");
    EXPECT_EQ(ReadBytes(dir.Path() / "app.log.bak").find("file 3"), 26u);
}

class Moves : public RotationListener {
  public:
    void OnRotated(const char* movedTo) override { paths.emplace_back(movedTo); }
    std::vector<std::string> paths;
};

// A sweep that lists files the archive kept since the last pass (a first
// pass that comes late, after rotations) compresses them as kept ones:
// each is told once, by its ".gz".
TEST(ArchiveCompression, AKeptFileTheSweepFindsTooIsToldOnce) {
    TempDir dir;
    auto log = test::MakeLog(dir.Path());
    Moves moves;
    log->SetArchive(3);
    log->SetCompress(true);
    for (int n = 0; n < 4; ++n) {
        FillFile(*log, n);
    }
    test::Trace(*log, 0, "file 4");
    log->SetRotationListener(&moves);
    log->CompressArchive(true);
    log->SetRotationListener(nullptr);
    std::vector<std::string> archived;
    for (const fs::path& file : ArchivedFiles(dir.Path())) {
        EXPECT_EQ(file.extension(), ".gz") << file;
        archived.push_back(file.string());
    }
    ASSERT_EQ(archived.size(), 3u);
    std::vector<std::string> told;
    for (const std::string& path : moves.paths) {
        told.push_back(fs::path(path).lexically_normal().string());
    }
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told, archived);
}

// Files archived within one second, each compressed before the next
// comes: a name whose ".gz" is there is taken, so no later file takes the
// plain name (and gets deleted as the rest of a stopped compression).
TEST(ArchiveCompression, ANameIsTakenByItsCompressedFileToo) {
    TempDir dir;
    auto log = test::MakeLog(dir.Path());
    log->SetArchive(3);
    log->SetCompress(true);
    for (int n = 0; n < 6; ++n) {
        FillFile(*log, n);
        log->CompressArchive(false);
    }
    test::Trace(*log, 0, "file 6");
    log->CompressArchive(false);
    std::vector<std::string> firsts;
    for (const fs::path& file : ArchivedFiles(dir.Path())) {
        EXPECT_EQ(file.extension(), ".gz") << file;
        const std::string text = Gunzip(file);
        firsts.push_back(text.substr(text.find("] ") + 2, 6));
    }
    std::sort(firsts.begin(), firsts.end());
    EXPECT_EQ(firsts, (std::vector<std::string>{"file 0", "file 1", "file 2", "file 3", "file 4"}));
}

}  // namespace
}  // namespace vosk
