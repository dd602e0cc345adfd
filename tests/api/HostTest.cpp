// The library as a host meets it: a separate program, copied into a fresh
// directory with the library beside it, loads it at run time.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

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

void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "old\n";
}

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("vosk_host_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xffff));
        fs::remove_all(root_);
        bin_ = root_ / "bin";
        fs::create_directories(bin_);
        host_ = bin_ / fs::path(VOSK_TEST_HOST).filename();
        library_ = bin_ / fs::path(VOSK_LIBRARY).filename();
        fs::copy_file(VOSK_TEST_HOST, host_);
        fs::copy_file(VOSK_LIBRARY, library_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Runs the host; its standard output.
    std::string RunHost(const std::string& scenario) {
        fs::path out = root_ / "host.out";
        std::string command =
            host_.string() + " " + library_.string() + " " + scenario + " > " + out.string();
        if (root_.string().find(' ') != std::string::npos) {
            ADD_FAILURE() << "temporary path with blanks: " << root_;
            return {};
        }
        int status = std::system(command.c_str());
        EXPECT_EQ(status, 0) << command;
        std::string text = ReadFile(out);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }

    fs::path root_, bin_, host_, library_;
};

TEST_F(HostTest, WritesPurgesAndUnloads) {
    // Leftovers of an earlier run, and files the purge must leave alone.
    Touch(root_ / "log" / "old.log");
    Touch(root_ / "log" / "old.log.bak");
    Touch(root_ / "log" / "keep.txt");
    Touch(bin_ / "log_files" / "app.log");
    Touch(bin_ / "log_files" / "x.LOG");
    Touch(bin_ / "log_files" / "sub" / "deep.log");

    EXPECT_EQ(RunHost("basic"), "done\n");

    EXPECT_FALSE(fs::exists(root_ / "log" / "old.log"));
    EXPECT_FALSE(fs::exists(root_ / "log" / "old.log.bak"));
    EXPECT_TRUE(fs::exists(root_ / "log" / "keep.txt"));
    EXPECT_TRUE(fs::exists(bin_ / "log_files" / "x.LOG"));
    EXPECT_TRUE(fs::exists(bin_ / "log_files" / "sub" / "deep.log"));
    // The purge ran before the first record, so no backup of the old file.
    EXPECT_FALSE(fs::exists(bin_ / "log_files" / "app.log.bak"));

    const std::regex stamp(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] (.*)$)");
    std::map<int, int> next;
    int records = 0;
    std::vector<std::string> rest;
    for (const std::string& line : Lines(ReadFile(bin_ / "log_files" / "app.log"))) {
        std::smatch m;
        if (!std::regex_match(line, m, stamp)) {
            rest.push_back(line);
            continue;
        }
        int t = -1, i = -1;
        if (sscanf(m[1].str().c_str(), "thread %d record %d of app", &t, &i) == 2) {
            EXPECT_EQ(i, next[t]) << "thread " << t << " out of order";
            next[t] = i + 1;
            ++records;
        } else {
            rest.push_back(m[1].str());
        }
    }
    EXPECT_EQ(records, 4000);
    ASSERT_EQ(rest.size(), 4u);
    // Raw text has no line end: the next record's stamp follows it.
    EXPECT_EQ(rest[0].substr(0, 34), std::string(25, ' ') + "raw text[");
    EXPECT_NE(rest[0].find("] after raw"), std::string::npos);
    EXPECT_EQ(rest[1], "through SL_Print: 00042");
    EXPECT_EQ(rest[2], "user 7 name bob");
    char expected[256];
    std::snprintf(expected, sizeof expected, "%ld %lld %zu %hd %E %#x %.3f %+g", 1L << 30,
                  1LL << 40, static_cast<size_t>(-1), static_cast<short>(70000), 1e-7, 255, 2.0 / 3,
                  -0.0);
    EXPECT_EQ(rest[3], expected);

    std::vector<std::string> other = Lines(ReadFile(bin_ / "logs" / "other.log"));
    ASSERT_EQ(other.size(), 3u);
    EXPECT_NE(other[0].find("] before the change"), std::string::npos);
    EXPECT_NE(other[1].find("] kept after the change"), std::string::npos);
    // Destroying the log wrote out what it still held.
    EXPECT_EQ(other[2], std::string(25, ' ') + "pending when destroyed");
}

// Every record in exactly one file, in order: the current file, its backup
// and the archived files, each where its name says.
TEST_F(HostTest, TheDayArchiveKeepsEveryRotatedFile) {
    EXPECT_EQ(RunHost("archive"), "done\n");
    const fs::path logs = bin_ / "archive";
    std::vector<fs::path> archived;
    for (const auto& entry : fs::recursive_directory_iterator(logs)) {
        if (entry.is_regular_file() && entry.path().parent_path() != logs) {
            archived.push_back(entry.path());
        }
    }
    std::sort(archived.begin(), archived.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    ASSERT_GE(archived.size(), 3u);
    // The name in UTC to the millisecond; the folder the local day.
    const std::regex name(R"(app\.log\.\d{8}-\d{6}-\d{3}Z)");
    const std::regex day(R"(logfiles-(\d{4})/(\d\d)/(\d{4})-(\d\d)-\d\d)");
    std::vector<fs::path> files = archived;
    files.push_back(logs / "app.log.bak");
    files.push_back(logs / "app.log");
    int next = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        std::smatch m;
        const std::string filename = file.filename().string();
        if (file.parent_path() != logs) {
            EXPECT_TRUE(std::regex_match(filename, name));
            const std::string folder = file.parent_path().lexically_relative(logs).generic_string();
            ASSERT_TRUE(std::regex_match(folder, m, day)) << folder;
            EXPECT_EQ(m[1].str(), m[3].str());
            EXPECT_EQ(m[2].str(), m[4].str());
        }
        int lines = 0;
        for (const std::string& line : Lines(ReadFile(file))) {
            int n = -1;
            ASSERT_EQ(sscanf(line.c_str() + 26, "record %d", &n), 1) << line;
            EXPECT_EQ(n, next) << line;
            next = n + 1;
            ++lines;
        }
        EXPECT_GT(lines, 0);
    }
    EXPECT_EQ(next, 5 * 1048576 / 226 + 10);
}

// The option export answers every call, refuses what it does not know or
// take, and a refusal changes nothing: the archive, its compression and
// the UTC stamps set before stay. Every record is in one file, each
// archived one compressed.
TEST_F(HostTest, TheOptionExportRefusesBadInputAndChangesNothing) {
    EXPECT_EQ(RunHost("options"),
              "null 7: -1\n"
              "0 0: -2\n"
              "6 0: -2\n"
              "-1 1: -2\n"
              "-2147483648 1: -2\n"
              "1 7: 0\n"
              "1 -1: -3\n"
              "1 -2147483648: -3\n"
              "2 1: 0\n"
              "2 -1: -3\n"
              "2 2: -3\n"
              "3 2: 0\n"
              "3 -1: -3\n"
              "3 3: -3\n"
              "3 2147483647: -3\n"
              "4 2: -3\n"
              "4 -1: -3\n"
              "4 0: 0\n"
              "4 1: 0\n"
              "5 2: -3\n"
              "5 -1: -3\n"
              "5 1: 0\n"
              "5 0: 0\n"
              "done\n");
    const fs::path logs = bin_ / "options";
    std::vector<int> numbers;
    // "[YYYY-MM-DD hh:mm:ss.mmmZ] record N ooo...": the stamp's form by its
    // fixed places, then the number (a regex per line took minutes under
    // the sanitizers for these 14,000 lines).
    auto recordNumber = [](const std::string& line) {
        static const std::string form = "[0000-00-00 00:00:00.000Z] record ";
        if (line.size() <= form.size()) {
            return -1;
        }
        for (size_t i = 0; i < form.size(); ++i) {
            const bool digit = line[i] >= '0' && line[i] <= '9';
            if (form[i] == '0' ? !digit : line[i] != form[i]) {
                return -1;
            }
        }
        size_t end = form.size();
        int number = 0;
        while (end < line.size() && line[end] >= '0' && line[end] <= '9') {
            number = number * 10 + (line[end++] - '0');
        }
        if (end == form.size() || end + 1 >= line.size() || line[end] != ' ' ||
            line.find_first_not_of('o', end + 1) != std::string::npos) {
            return -1;
        }
        return number;
    };
    int archived = 0;
    for (const auto& entry : fs::recursive_directory_iterator(logs)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const bool inArchive = entry.path().parent_path() != logs;
        SCOPED_TRACE(entry.path().string());
        std::string text;
        if (inArchive) {
            ++archived;
            EXPECT_EQ(entry.path().extension(), ".gz");
            text = Gunzip(entry.path());
        } else {
            text = ReadFile(entry.path());
        }
        for (const std::string& line : Lines(text)) {
            const int number = recordNumber(line);
            ASSERT_GE(number, 0) << line;
            numbers.push_back(number);
        }
    }
    EXPECT_GE(archived, 1);
    std::sort(numbers.begin(), numbers.end());
    ASSERT_EQ(numbers.size(), static_cast<size_t>(3 * 1048576 / 226 + 10));
    for (size_t i = 0; i < numbers.size(); ++i) {
        ASSERT_EQ(numbers[i], static_cast<int>(i));
    }
}

// The archive's prune by age, told in the log through the option export:
// one record per folder removed with prune records on, in the library's
// words, whatever the log's threshold; none by default, and values the
// option does not take change neither.
TEST_F(HostTest, PruneRecordsTellEachFolderTheArchivePrunedOnlyWhenAskedFor) {
    const fs::path logs = bin_ / "prune";
    auto make = [&](const fs::path& file, const std::string& bytes) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    };
    const std::set<std::string> told = {
        "pruned logfiles-2020/01/2020-01-01: 2 files, 7 bytes, folder removed: older than 7 days",
        "pruned logfiles-2020/01/2020-01-02: 1 file, 5 bytes, folder removed: older than 7 days",
        "pruned logfiles-2020/02/2020-02-03: 0 files, 0 bytes, folder removed: older than 7 days",
        "pruned logfiles-2020/01: 0 files, 0 bytes, folder removed: older than 7 days",
        "pruned logfiles-2020/02: 0 files, 0 bytes, folder removed: older than 7 days",
        "pruned logfiles-2020: 0 files, 0 bytes, folder removed: older than 7 days",
    };
    const std::string refusals = "2: -3\n-1: -3\n-2147483648: -3\n2147483647: -3\ndone\n";
    for (const char* how : {"on", "default"}) {
        SCOPED_TRACE(how);
        fs::remove_all(logs);
        make(logs / "logfiles-2020/01/2020-01-01/app.log.20200101-120000-000Z", "abc");
        make(logs / "logfiles-2020/01/2020-01-01/app.log.20200101-130000-000Z.gz", "defg");
        make(logs / "logfiles-2020/01/2020-01-02/app.log.20200102-120000-000Z", "hijkl");
        fs::create_directories(logs / "logfiles-2020/02/2020-02-03");
        const bool on = std::string(how) == "on";
        EXPECT_EQ(RunHost(std::string("prune ") + how), (on ? "on: 0\n" : "") + refusals);
        EXPECT_FALSE(fs::exists(logs / "logfiles-2020"));
        std::multiset<std::string> records;
        for (const std::string& line : Lines(ReadFile(logs / "app.log"))) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(
                line, m, std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] (.*))")))
                << line;
            if (m[1] != "opens the file") {
                records.insert(m[1]);
            }
        }
        EXPECT_EQ(records, on ? std::multiset<std::string>(told.begin(), told.end())
                              : std::multiset<std::string>());
    }
}

// Without the archive the old backup is moved aside at each rotation and
// deleted later: after the run only the file and its backup are left, the
// backup whole and followed by the file, and a file moved aside that an
// earlier run left behind is gone too.
TEST_F(HostTest, RotationsLeaveTheFileAndAWholeBackupOnly) {
    const fs::path logs = bin_ / "rotate";
    Touch(logs / "app.log.bak.del");
    EXPECT_EQ(RunHost("rotate"), "done\n");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(logs)) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"app.log", "app.log.bak"}));
    int next = -1;
    for (const fs::path& file : {logs / "app.log.bak", logs / "app.log"}) {
        SCOPED_TRACE(file.string());
        const std::vector<std::string> lines = Lines(ReadFile(file));
        ASSERT_FALSE(lines.empty());
        for (const std::string& line : lines) {
            int n = -1;
            ASSERT_EQ(sscanf(line.c_str() + 26, "record %d", &n), 1) << line;
            EXPECT_TRUE(next < 0 || n == next) << line;
            next = n + 1;
        }
    }
    EXPECT_EQ(next, 5 * 1048576 / 226 + 10);
}

}  // namespace
