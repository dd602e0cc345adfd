// The program end to end: lines through standard input into log files.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ToolRun.h"
#include "support/RecordLines.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using test::ToolResult;
using vosk::test::kStampLength;
using vosk::test::OnDisk;
using vosk::test::ReadBytes;
using vosk::test::SplitLines;
using vosk::test::StampShape;
using vosk::test::TempDir;

constexpr int32_t kMinimumSize = 1048576;

// A record of a log file: its message, and whether it continues the one
// before it.
struct Piece {
    std::string text;
    bool continued = false;
    bool operator==(const Piece& o) const { return text == o.text && continued == o.continued; }
};

std::ostream& operator<<(std::ostream& out, const Piece& p) {
    return out << (p.continued ? "+" : " ") << testing::PrintToString(p.text);
}

// The records of a log file; fails for a line that is no record.
std::vector<Piece> Pieces(const fs::path& file) {
    std::vector<Piece> pieces;
    vosk::test::FileLines lines = SplitLines(ReadBytes(file));
    EXPECT_TRUE(lines.endsWhole) << file;
    std::string previousStamp;
    for (const std::string& line : lines.lines) {
        const bool continued = line.size() >= kStampLength && line[kStampLength - 1] == '+';
        if (line.size() < kStampLength || !StampShape(line, kStampLength - 1) ||
            (!continued && line[kStampLength - 1] != ' ')) {
            ADD_FAILURE() << "not a record: " << line.substr(0, 80);
            continue;
        }
        // Stamps never go back within a pipe of one writer.
        std::string stamp = line.substr(0, kStampLength - 1);
        EXPECT_LE(previousStamp, stamp);
        previousStamp = stamp;
        pieces.push_back({line.substr(kStampLength), continued});
    }
    return pieces;
}

// The messages of a log file's records, a line's continued records joined
// to its first.
std::vector<std::string> Messages(const fs::path& file) {
    std::vector<std::string> messages;
    for (const Piece& piece : Pieces(file)) {
        if (piece.continued && !messages.empty()) {
            messages.back() += piece.text;
        } else {
            EXPECT_FALSE(piece.continued) << "a first record marked as continued";
            messages.push_back(piece.text);
        }
    }
    return messages;
}

std::string Joined(const std::vector<std::string>& lines, const std::string& end = "\n") {
    std::string text;
    for (const std::string& line : lines) {
        text += line + end;
    }
    return text;
}

class VosklogTest : public ::testing::Test {
  protected:
    ToolResult Run(const std::string& arguments, const std::string& input, bool piped = false) {
        return tool.Run("-d " + logs.Str() + " " + arguments, input, piped);
    }
    fs::path File(const std::string& name = "app.log") const { return logs.Path() / name; }

    TempDir logs;
    test::ToolRunner tool;
};

TEST_F(VosklogTest, LinesInAreRecordsOutInOrderAndWhole) {
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i) {
        lines.push_back("line " + std::to_string(i) + " %s %n %d %% %*.*f %999999999s");
    }
    lines.push_back(std::string(1 << 20, 'M'));  // a 1 MB line
    lines.push_back(std::string("nul\0inside\0", 11));
    lines.push_back("\xff\xfe invalid \xc3\x28 utf-8 \xed\xa0\x80");
    lines.push_back("");
    lines.push_back("<x>not a level");
    lines.push_back("the last line has no line end");
    std::string input = Joined(lines);
    input.pop_back();

    ToolResult r = Run("-n app.log -s 64M", input);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Messages(File()), lines);
    EXPECT_FALSE(fs::exists(File("app.log.bak")));
}

TEST_F(VosklogTest, APipeIsReadToItsEnd) {
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i) {
        lines.push_back("<" + std::to_string(i % 3) + ">piped " + std::to_string(i) + " %n");
    }
    lines.push_back(std::string(300000, 'P'));
    lines.push_back("no line end");
    std::string input = Joined(lines);
    input.pop_back();
    ToolResult r = Run("-n app.log -l 9", input, true);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (std::string& line : lines) {
        if (line[0] == '<') {
            line.erase(0, 3);
        }
    }
    EXPECT_EQ(Messages(File()), lines);
}

TEST_F(VosklogTest, RotatesAtTheSizeLimitWhilePiping) {
    // Records of 1000 counted characters: stamp, message, line feed.
    std::vector<std::string> lines;
    for (int i = 0; i < 3500; ++i) {
        std::string number = std::to_string(i);
        lines.push_back(number + std::string(1000 - kStampLength - 1 - number.size(), '.'));
    }
    ToolResult r = Run("-n app.log -s 1M", Joined(lines), true);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    // One backup generation: the last two files hold the last lines, in
    // order, without a gap; a file ends with the record that reached the
    // limit.
    std::vector<std::string> backup = Messages(File("app.log.bak"));
    std::vector<std::string> current = Messages(File());
    const size_t perFile = (kMinimumSize + 999) / 1000;
    EXPECT_EQ(backup.size(), perFile);
    EXPECT_EQ(current.size(), lines.size() % perFile);
    std::vector<std::string> tail(lines.end() - static_cast<long>(backup.size() + current.size()),
                                  lines.end());
    backup.insert(backup.end(), current.begin(), current.end());
    EXPECT_EQ(backup, tail);
}

// With --keep-days every file is kept: the archived ones, the backup and
// the current file hold every line once, in order.
TEST_F(VosklogTest, KeepDaysKeepsEveryFileInTheDayArchive) {
    std::vector<std::string> lines;
    for (int i = 0; i < 3500; ++i) {
        std::string number = std::to_string(i);
        lines.push_back(number + std::string(1000 - kStampLength - 1 - number.size(), '.'));
    }
    ToolResult r = Run("-n app.log -s 1M --keep-days 3", Joined(lines), true);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<fs::path> archived;
    for (const auto& entry : fs::recursive_directory_iterator(logs.Path())) {
        if (entry.is_regular_file() && entry.path().parent_path() != logs.Path()) {
            archived.push_back(entry.path());
        }
    }
    std::sort(archived.begin(), archived.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    // Four files of 1049 lines: two of them archived.
    ASSERT_EQ(archived.size(), 2u);
    std::vector<std::string> all;
    archived.push_back(File("app.log.bak"));
    archived.push_back(File());
    for (const fs::path& file : archived) {
        EXPECT_EQ(file.filename().string().rfind("app.log", 0), 0u);
        std::vector<std::string> messages = Messages(file);
        all.insert(all.end(), messages.begin(), messages.end());
    }
    EXPECT_EQ(all, lines);
}

TEST_F(VosklogTest, LevelPrefixesAreWeighedAgainstTheThreshold) {
    const std::string input = "<0>zero\n<3>three\n<4>four\n<-1>minus\nplain\n<x>bad\n<7>seven\n";
    struct Case {
        const char* level;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"0", {"zero", "minus", "plain", "<x>bad"}},
        {"3", {"zero", "three", "minus", "plain", "<x>bad"}},
        {"-1", {"minus"}},
        {"7", {"zero", "three", "four", "minus", "plain", "<x>bad", "seven"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        fs::remove(File());
        fs::remove(File("app.log.bak"));
        ToolResult r = Run(std::string("-n app.log -l ") + c.level, input);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Messages(File()), c.kept);
    }
}

TEST_F(VosklogTest, RawLinesTakeTheIndentInsteadOfTheStamp) {
    ToolResult r = Run("-n app.log --raw", "first %s\n<2>dropped\n\nlast");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string indent(25, ' ');
    EXPECT_EQ(ReadBytes(File()), OnDisk(indent + "first %s\n" + indent + "\n" + indent + "last\n"));
}

TEST_F(VosklogTest, ALongLineIsWrittenInMarkedRecordsThatJoinBack) {
    const std::string x(20000, 'x');
    const std::string sixteen = "0123456789abcdef";
    struct Case {
        std::string arguments;
        std::string input;
        std::vector<Piece> expected;
    };
    const std::vector<Case> cases = {
        {"", x + "\n", {{x.substr(0, 8192)}, {x.substr(0, 8192), true}, {x.substr(0, 3616), true}}},
        {"--max-line 1K",
         x.substr(0, 2049),
         {{x.substr(0, 1024)}, {x.substr(0, 1024), true}, {"x", true}}},
        {"--max-line 0", x + x + "\n", {{x + x}}},
        {"--max-line 16", sixteen + "XYZ\nnext\n", {{sixteen}, {"XYZ", true}, {"next"}}},
        {"--max-line 16", sixteen + "\r\n" + sixteen + "\n", {{sixteen}, {sixteen}}},
        // The prefix counts in the first piece and its level for all.
        {"--max-line 16 -l 5", "<3>" + sixteen + "\n", {{"0123456789abc"}, {"def", true}}},
        {"--max-line 16 -l 5", "<7>" + sixteen + sixteen + "\nkept\n", {{"kept"}}},
        {"--max-line 16 -l 5", sixteen + "<7>\n", {{sixteen}, {"<7>", true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments + " " + c.input.substr(0, 40));
        fs::remove(File());
        ToolResult r = Run("-n app.log " + c.arguments, c.input);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Pieces(File()), c.expected);
    }
}

TEST_F(VosklogTest, RawPiecesMarkTheIndentAndTeeCopiesTheLineWhole) {
    const std::string input = std::string(40, 'r') + "\r\nshort\n" + std::string(17, 's');
    ToolResult r = Run("-n app.log --raw --tee --max-line 16", input);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, input);
    const std::string indent(25, ' ');
    const std::string marked = std::string(24, ' ') + "+";
    EXPECT_EQ(ReadBytes(File()),
              OnDisk(indent + std::string(16, 'r') + "\n" + marked + std::string(16, 'r') + "\n" +
                     marked + "rrrrrrrr\n" + indent + "short\n" + indent + std::string(16, 's') +
                     "\n" + marked + "s\n"));
}

TEST_F(VosklogTest, TeeCopiesTheInputAsReadAndLineEndsMayBeCrLf) {
    const std::string input = "a\r\n<5>filtered\nc\r\n\r\nno end\r";
    ToolResult r = Run("-n app.log --tee", input);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, input);
    EXPECT_EQ(ReadBytes(File()).size(), 4 * kStampLength + OnDisk("a\nc\n\nno end\r\n").size());
    std::vector<std::string> messages = Messages(File());
    EXPECT_EQ(messages, (std::vector<std::string>{"a", "c", "", "no end\r"}));
}

TEST_F(VosklogTest, EmptyInputLeavesNoFile) {
    ToolResult r = Run("-n app.log", "");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(VosklogTest, BadOptionsExitWithTwoBeforeAnythingIsWritten) {
    vosk::test::WriteBytes(logs.Path() / "blocker", "a file, not a directory\n");
    const std::string cases[] = {
        "",
        "-n",
        "-n app.log -s 10X",
        "-n app.log -s 3G",
        "-n app.log -l high",
        "-n app.log --disk-limit -5",
        "-n app.log --max-line 15",
        "-n app.log --max-line -1",
        "-n app.log --max-line 2G",
        "-n app.log --max-line",
        "-n app.log --colour",
        "-n app.log stray",
        // A directory that cannot be created; the last -d counts.
        "-n app.log -d " + logs.Str("blocker/sub"),
    };
    for (const std::string& args : cases) {
        SCOPED_TRACE(args);
        ToolResult r = Run(args, "a line\n");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.rfind("vosklog: ", 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(File()));
        EXPECT_FALSE(fs::exists(logs.Path() / "blocker" / "sub" / "app.log"));
    }
}

TEST_F(VosklogTest, ASizeBelowTheFloorIsRaisedAndSaidNotRefused) {
    ToolResult r = Run("-n app.log -s 64K", "one\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(SplitLines(r.err).lines,
              (std::vector<std::string>{
                  "vosklog: size limit 65536 is below the least a log takes; using 1048576"}));
    EXPECT_EQ(Messages(File()), (std::vector<std::string>{"one"}));
}

TEST_F(VosklogTest, HelpExitsWithZero) {
    ToolResult r = tool.Run("--help", "");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("usage: vosklog"), std::string::npos);
}

TEST_F(VosklogTest, VersionIsOneLineAndExitsWithZero) {
    ToolResult r = tool.Run("--version", "");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("vosklog ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    EXPECT_NE(r.out.find_first_of("0123456789"), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

// The options --help lists: each option line starts with blanks, then the
// option.
std::set<std::string> HelpOptions(const std::string& help) {
    std::set<std::string> options;
    for (const std::string& line : SplitLines(help).lines) {
        const size_t start = line.find_first_not_of(' ');
        if (start < 2 || start == std::string::npos || line[start] != '-') {
            continue;
        }
        options.insert(line.substr(start, line.find(' ', start) - start));
    }
    return options;
}

// The options the manual page lists: ".It Fl x" entries, "\-" as "-".
std::set<std::string> ManualOptions(const std::string& page) {
    std::set<std::string> options;
    for (const std::string& line : SplitLines(page).lines) {
        if (line.rfind(".It Fl ", 0) != 0) {
            continue;
        }
        std::string flag = line.substr(7, line.find(' ', 7) - 7);
        std::string option = "-";
        for (size_t i = 0; i < flag.size(); ++i) {
            if (flag[i] == '\\' && i + 1 < flag.size() && flag[i + 1] == '-') {
                continue;
            }
            option += flag[i];
        }
        options.insert(option);
    }
    return options;
}

TEST_F(VosklogTest, HelpAndManualPageListTheSameOptions) {
    ToolResult r = tool.Run("--help", "");
    ASSERT_EQ(r.exitCode, 0);
    const std::set<std::string> help = HelpOptions(r.out);
    const std::set<std::string> manual = ManualOptions(ReadBytes(VOSKLOG_MANUAL));
    EXPECT_EQ(help, manual);
    // The parse itself is checked: the lists hold what the options are.
    for (const char* option : {"-d", "-n", "-s", "-l", "--raw", "--tee", "--disk-limit",
                               "--keep-days", "--compress", "--drop-when-full", "--max-line",
                               "--on-rotate", "--stamp", "--dry-run", "--help", "--version"}) {
        EXPECT_EQ(help.count(option), 1u) << option;
    }
    EXPECT_EQ(help.size(), 16u);
}

TEST_F(VosklogTest, DryRunShowsTheSettingsAfterTheLibrarysClampsAndTouchesNothing) {
    struct Case {
        std::string arguments;
        std::string sizeLimit;
        std::string level;
        std::string diskLimit;
        std::string notice;  // the line on standard error, if any
        std::string keepDays = "0";
    };
    const Case cases[] = {
        {"", "2097152", "0", "800", ""},
        {"-s 100 -l 9 --disk-limit 5", "1048576", "9", "200",
         "vosklog: size limit 100 is below the least a log takes; using 1048576"},
        {"-s 10M -l -4 --disk-limit 999 --keep-days 7", "10485760", "-4", "950", "", "7"},
        {"-s 1048575 --disk-limit 900", "1048576", "0", "900",
         "vosklog: size limit 1048575 is below the least a log takes; using 1048576"},
        {"-s 1M", "1048576", "0", "800", ""},
    };
    // Relative to the current directory, not to the executable's.
    const std::string directory = (fs::current_path() / "no_such_dir" / "sub").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        ToolResult r = tool.Run("--dry-run -d no_such_dir/sub/ -n app.log " + c.arguments, "x\n");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::string file = directory + "/app.log";
        EXPECT_EQ(
            SplitLines(r.out).lines,
            (std::vector<std::string>{"file: " + file, "backup: " + file + ".bak",
                                      "size limit: " + c.sizeLimit, "level: " + c.level,
                                      "disk limit: " + c.diskLimit, "keep days: " + c.keepDays}));
        EXPECT_EQ(SplitLines(r.err).lines, c.notice.empty() ? std::vector<std::string>()
                                                            : std::vector<std::string>{c.notice});
    }
    EXPECT_FALSE(fs::exists(fs::current_path() / "no_such_dir"));
}

TEST_F(VosklogTest, NothingBesideTheExecutableIsPurged) {
    // What the loaded library deletes at load.
    const fs::path kept[] = {tool.Bin() / "log_files" / "old.log",
                             tool.Bin() / "log_files" / "old.log.bak",
                             tool.Bin().parent_path() / "log" / "old.log"};
    for (const fs::path& p : kept) {
        fs::create_directories(p.parent_path());
        vosk::test::WriteBytes(p, "old\n");
    }
    ToolResult r = Run("-n app.log", "line\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const fs::path& p : kept) {
        EXPECT_TRUE(fs::exists(p)) << p;
    }
    EXPECT_EQ(Messages(File()), std::vector<std::string>{"line"});
}

// --stamp: each form as the header shows it, and telling the time: the UTC
// instant it names is the one the line was written at.
TEST_F(VosklogTest, StampFormsNameTheMomentInTheirZone) {
    struct Case {
        const char* form;
        const char* shape;
    };
    const Case cases[] = {
        {"local", R"(\[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.\d{3}\] line)"},
        {"offset",
         R"(\[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.\d{3} ([+-])(\d\d):(\d\d)\] line)"},
        {"utc", R"(\[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.\d{3}Z\] line)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        fs::remove(File());
        const std::time_t before = std::time(nullptr);
        ToolResult r = Run(std::string("-n app.log --stamp ") + c.form, "line\n");
        const std::time_t after = std::time(nullptr);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string text = vosk::test::ReadBytes(File());
        std::smatch m;
        std::string line = text.substr(0, text.find('\n'));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();  // Windows' line end
        }
        ASSERT_TRUE(std::regex_match(line, m, std::regex(c.shape))) << line;
        std::tm fields{};
        fields.tm_year = std::stoi(m[1]) - 1900;
        fields.tm_mon = std::stoi(m[2]) - 1;
        fields.tm_mday = std::stoi(m[3]);
        fields.tm_hour = std::stoi(m[4]);
        fields.tm_min = std::stoi(m[5]);
        fields.tm_sec = std::stoi(m[6]);
        std::time_t at = 0;
        if (std::string(c.form) == "local") {
            fields.tm_isdst = -1;
            at = std::mktime(&fields);
        } else {
            // The fields as UTC: days since 1970 of the civil date.
            const long y = std::stol(m[1]) - (std::stol(m[2]) <= 2);
            const long mo = std::stol(m[2]);
            const long era = y / 400;  // years after 1970 only
            const long yoe = y - era * 400;
            const long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + std::stol(m[3]) - 1;
            const long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
            at = static_cast<std::time_t>(days) * 86400 + fields.tm_hour * 3600 +
                 fields.tm_min * 60 + fields.tm_sec;
            if (m.size() > 9 && m[7].matched) {
                const long offset = (std::stol(m[8]) * 60 + std::stol(m[9])) * 60;
                at -= m[7] == "-" ? -offset : offset;
            }
        }
        EXPECT_GE(at, before - 1);
        EXPECT_LE(at, after + 1);
    }
}

}  // namespace
}  // namespace vosklog
