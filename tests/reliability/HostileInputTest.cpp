// Hostile input, one table: every case has a defined outcome. Nothing
// crashes, the registry and the log stay usable, and no file is touched
// but the ones the case names.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "api/LogRegistry.h"
#include "api/MaintenanceCommand.h"
#include "support/FileTree.h"
#include "support/LogCalls.h"
#include "support/LogRegistryTestPeer.h"
#include "support/RecordLines.h"
#include "support/TempDir.h"
#include "threading/BlockingQueue.h"

namespace vosk {
namespace {

using test::Trace;

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;

// Every file and directory beneath root, with the file's content.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string key = fs::relative(it->path(), root, ec).generic_string();
        out[key] = fs::is_directory(it->symlink_status()) ? "<dir>" : ReadBytes(it->path());
    }
    return out;
}

// The message of each line of a file, stamps checked and taken off.
std::vector<std::string> Messages(const fs::path& file) {
    std::vector<std::string> out;
    test::FileLines lines = test::SplitLines(ReadBytes(file));
    EXPECT_TRUE(lines.endsWhole) << file;
    for (const std::string& line : lines.lines) {
        EXPECT_TRUE(line.size() >= test::kStampLength && test::StampShape(line, test::kStampLength))
            << line.substr(0, 80);
        out.push_back(line.size() >= test::kStampLength ? line.substr(test::kStampLength) : line);
    }
    return out;
}

struct Env {
    TempDir dir;
    LogRegistry registry{SystemMaintenanceHooks(), false};
    std::string Path(const std::string& sub = "") const { return dir.Str(sub); }
    // Carries out every command posted so far.
    void RunCommands() { test::LogRegistryTestPeer::RunCommands(registry); }
};

struct Case {
    const char* name;
    // Files and directories the case may create or change, relative to the
    // test directory; everything else beneath it must stay as it was.
    std::set<std::string> touches;
    std::function<void(Env&)> act;
};

const std::string kMega(10 * 1024 * 1024, 'M');

std::vector<Case> Cases() {
    return {
        {"null handles",
         {},
         [](Env& e) {
             Trace(nullptr, 0, "to no log %d", 1);
             LogRegistry::WriteLog(nullptr, "to no log");
             LogRegistry::ChangeLevel(nullptr, 3);
             e.registry.DestroyLog(nullptr);
             e.RunCommands();
         }},
        {"null format and null text",
         {"app.log"},
         [](Env& e) {
             LogEntry* log = e.registry.CreateLog(e.Path().c_str(), "app.log", 0, 0);
             ASSERT_NE(log, nullptr);
             Trace(log, 0, nullptr);
             LogRegistry::WriteLog(log, nullptr);
             Trace(log, 0, "after %s", "nulls");
             EXPECT_EQ(Messages(e.dir.Path() / "app.log"), std::vector<std::string>{"after nulls"});
         }},
        {"null name: nothing is written, nothing created",
         {},
         [](Env& e) {
             LogEntry* log = e.registry.CreateLog(e.Path().c_str(), nullptr, 0, 0);
             if (log != nullptr) {
                 Trace(log, 0, "nameless %d", 1);
                 LogRegistry::WriteLog(log, "raw");
                 LogRegistry::ChangeLevel(log, 2);
                 e.registry.DestroyLog(log);
                 e.RunCommands();
             }
         }},
        {"name with '..' stays the path the system makes of it",
         {"inner", "escape.log"},
         [](Env& e) {
             LogEntry* log = e.registry.CreateLog(e.Path("inner").c_str(), "../escape.log", 0, 0);
             ASSERT_NE(log, nullptr);
             Trace(log, 0, "up one");
             EXPECT_EQ(Messages(e.dir.Path() / "escape.log"), std::vector<std::string>{"up one"});
         }},
        {"directory that is a plain file: records dropped until it is gone",
         {"plain", "plain/app.log"},
         [](Env& e) {
             test::MakeFile(e.dir.Path() / "plain", "not a directory");
             LogEntry* log = e.registry.CreateLog(e.Path("plain").c_str(), "app.log", 0, 0);
             ASSERT_NE(log, nullptr);
             Trace(log, 0, "dropped");
             EXPECT_EQ(ReadBytes(e.dir.Path() / "plain"), "not a directory");
             fs::remove(e.dir.Path() / "plain");
             Trace(log, 0, "landed");
             // The record dropped is told before the one that landed.
             const std::vector<std::string> messages = Messages(e.dir.Path() / "plain/app.log");
             ASSERT_EQ(messages.size(), 2u);
             EXPECT_EQ(messages[0].rfind("1 record not written since ", 0), 0u) << messages[0];
             EXPECT_EQ(messages[1], "landed");
         }},
        {"name of an existing directory: records dropped, nothing moved",
         {"taken", "taken.bak"},
         [](Env& e) {
             test::MakeFile(e.dir.Path() / "taken/inner/keep.txt", "keep");
             test::MakeDir(e.dir.Path() / "taken.bak");
             LogEntry* log = e.registry.CreateLog(e.Path().c_str(), "taken", 0, 0);
             ASSERT_NE(log, nullptr);
             Trace(log, 0, "dropped %d", 1);
             Trace(log, 0, "dropped %d", 2);
             LogRegistry::WriteLog(log, "raw");
             e.registry.DestroyLog(log);
             e.RunCommands();
             // The case made both directories; the log moved neither.
             EXPECT_TRUE(fs::is_directory(e.dir.Path() / "taken"));
             EXPECT_EQ(ReadBytes(e.dir.Path() / "taken/inner/keep.txt"), "keep");
             EXPECT_TRUE(fs::is_directory(e.dir.Path() / "taken.bak"));
             EXPECT_TRUE(fs::is_empty(e.dir.Path() / "taken.bak"));
         }},
        {"directory path of 5000 characters",
         {"long"},
         [](Env& e) {
             std::string path = e.Path("long");
             while (path.size() < 5000) {
                 path += "/" + std::string(99, 'd');
             }
             LogEntry* log = e.registry.CreateLog(path.c_str(), "app.log", 0, 0);
             ASSERT_NE(log, nullptr);
             Trace(log, 0, "too deep %d", 1);
             LogRegistry::WriteLog(log, "raw");
             e.registry.DestroyLog(log);
             e.RunCommands();
         }},
        {"size limits INT_MIN (1 MiB) and INT_MAX",
         {"min.log", "min.log.bak", "max.log"},
         [](Env& e) {
             LogEntry* small = e.registry.CreateLog(e.Path().c_str(), "min.log", INT_MIN, 0);
             LogEntry* large = e.registry.CreateLog(e.Path().c_str(), "max.log", INT_MAX, 0);
             ASSERT_NE(small, nullptr);
             ASSERT_NE(large, nullptr);
             const std::string line(1000, 'x');
             for (int i = 0; i < 1100; ++i) {
                 Trace(small, 0, "%s", line.c_str());
                 Trace(large, 0, "%s", line.c_str());
             }
             EXPECT_TRUE(test::Exists(e.dir.Path() / "min.log.bak"));
             EXPECT_EQ(Messages(e.dir.Path() / "max.log").size(), 1100u);
         }},
        {"levels INT_MIN and INT_MAX compare as signed numbers",
         {"levels.log"},
         [](Env& e) {
             LogEntry* log = e.registry.CreateLog(e.Path().c_str(), "levels.log", 0, INT_MIN);
             ASSERT_NE(log, nullptr);
             Trace(log, INT_MIN + 1, "dropped");
             Trace(log, INT_MIN, "kept at INT_MIN");
             LogRegistry::ChangeLevel(log, INT_MAX);
             Trace(log, INT_MAX, "kept at INT_MAX");
             Trace(log, INT_MIN, "kept below");
             EXPECT_EQ(
                 Messages(e.dir.Path() / "levels.log"),
                 (std::vector<std::string>{"kept at INT_MIN", "kept at INT_MAX", "kept below"}));
         }},
        {"format of 100 KB",
         {"big.log"},
         [](Env& e) {
             LogEntry* log = e.registry.CreateLog(e.Path().c_str(), "big.log", 0, 0);
             ASSERT_NE(log, nullptr);
             std::string format;
             std::string expected;
             while (format.size() < 100 * 1024) {
                 // Letters that are no conversion take no argument.
                 format += "ab %% %q%hyd|";
                 expected += "ab % d|";
             }
             Trace(log, 0, format.c_str());
             EXPECT_EQ(Messages(e.dir.Path() / "big.log"), std::vector<std::string>{expected});
         }},
        {"argument of 10 MB, whole, cut by a precision, padded by a width",
         {"huge.log"},
         [](Env& e) {
             LogEntry* log = e.registry.CreateLog(e.Path().c_str(), "huge.log", INT_MAX, 0);
             ASSERT_NE(log, nullptr);
             Trace(log, 0, "<%s>", kMega.c_str());
             Trace(log, 0, "<%.5s>", kMega.c_str());
             Trace(log, 0, "<%10485761s>", "M");
             std::vector<std::string> lines = Messages(e.dir.Path() / "huge.log");
             ASSERT_EQ(lines.size(), 3u);
             EXPECT_TRUE(lines[0] == "<" + kMega + ">");
             EXPECT_EQ(lines[1], "<MMMMM>");
             EXPECT_TRUE(lines[2] == "<" + std::string(10485760, ' ') + "M>");
         }},
        {"disk limits 0 and 0xFFFFFFFF are clamped",
         {},
         [](Env& e) {
             e.registry.SetLogDiskLimit(0);
             e.RunCommands();
             EXPECT_EQ(test::LogRegistryTestPeer::DiskLimit(e.registry), 200);
             e.registry.SetLogDiskLimit(0xFFFFFFFFu);
             e.RunCommands();
             EXPECT_EQ(test::LogRegistryTestPeer::DiskLimit(e.registry), 950);
         }},
    };
}

TEST(HostileInput, EveryCaseHasADefinedOutcome) {
    int tried = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        Env env;
        test::MakeFile(env.dir.Path() / "bystander.log", "keep me\n");
        auto before = Tree(env.dir.Path());
        c.act(env);

        // Still usable: a new log of the same registry writes.
        LogEntry* probe = env.registry.CreateLog(env.Path("probe").c_str(), "probe.log", 0, 0);
        ASSERT_NE(probe, nullptr);
        Trace(probe, 0, "still %s", "working");
        EXPECT_EQ(Messages(env.dir.Path() / "probe/probe.log"),
                  std::vector<std::string>{"still working"});

        auto after = Tree(env.dir.Path());
        for (const auto& [path, content] : after) {
            bool allowed = path.rfind("probe", 0) == 0;
            for (const std::string& touched : c.touches) {
                allowed = allowed || path == touched || path.rfind(touched + "/", 0) == 0;
            }
            if (!allowed) {
                auto old = before.find(path);
                EXPECT_TRUE(old != before.end() && old->second == content) << "touched: " << path;
            }
        }
        for (const auto& [path, content] : before) {
            EXPECT_TRUE(after.count(path) != 0 || c.touches.count(path) != 0)
                << "removed: " << path;
        }
        ++tried;
    }
    std::printf("hostile input: %d cases\n", tried);
}

}  // namespace
}  // namespace vosk
