// The archive tree is not a way out: with the disk reported full, the
// maintenance thread prunes a logfiles tree planted with links to the
// outside (symbolic links to a directory and to a file, a hard link to a
// read-only file, links nested in subdirectories), and nothing outside
// loses a file, a byte or a permission bit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdarg>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <thread>

#include "api/LogRegistry.h"
#include "support/FileTree.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::MakeDir;
using test::MakeFile;
using test::MakeLink;
using test::MakeReadOnly;
using test::TempDir;

struct EntryState {
    bool directory = false;
    std::string content;
    fs::perms perms = fs::perms::none;
    bool operator==(const EntryState& o) const {
        return directory == o.directory && content == o.content && perms == o.perms;
    }
};

// Every entry beneath root with its kind, content and permissions.
std::map<std::string, EntryState> Snapshot(const fs::path& root) {
    std::map<std::string, EntryState> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        EntryState state;
        fs::file_status status = fs::symlink_status(it->path(), ec);
        state.directory = fs::is_directory(status);
        state.perms = status.permissions();
        if (fs::is_regular_file(status)) {
            state.content = test::ReadBytes(it->path());
        }
        out[fs::relative(it->path(), root, ec).generic_string()] = state;
    }
    return out;
}

// The tree is gone, or holds nothing but the read-only hard link.
bool Pruned(const fs::path& tree) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(tree, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_directory(ec) && it->path().filename() != "hard-readonly") {
            return false;
        }
    }
    return true;
}

TEST(ArchiveEscape, PruningThroughTheMaintenanceThreadNeverReachesOutside) {
    TempDir root;
    const fs::path outside = root.Path() / "outside";
    const fs::path logs = root.Path() / "logs";
    MakeFile(outside / "canary", "canary");
    MakeFile(outside / "readonly", "read-only");
    MakeReadOnly(outside / "readonly");
    MakeFile(outside / "tree/01/2000-01-01/a.log", "a");
    MakeFile(outside / "tree/01/2000-01-01/b.log", "b");
    MakeReadOnly(outside / "tree/01/2000-01-01/b.log");
    MakeReadOnly(outside / "tree/01");

    const fs::path day = logs / "logfiles-2001/01/2001-01-01";
    for (int i = 0; i < 5; ++i) {
        MakeFile(day / ("f" + std::to_string(i) + ".log"));
    }
    int planted = 0;
    planted += MakeLink(outside / "tree", day / "to-dir", true);
    planted += MakeLink(outside / "canary", day / "to-file", false);
    planted += MakeLink(outside / "readonly", day / "to-readonly", false);
    MakeDir(day / "nested");
    planted += MakeLink(outside / "tree/01", day / "nested/to-month", true);
    planted += MakeLink(outside / "tree", logs / "logfiles-2001/01/2001-01-02", true);
    std::error_code ec;
    fs::create_hard_link(outside / "readonly", day / "hard-readonly", ec);
    planted += !ec;
    if (planted == 0) {
        GTEST_SKIP() << "no kind of link can be made here";
    }
    const auto before = Snapshot(outside);

    MaintenanceHooks hooks = SystemMaintenanceHooks();
    hooks.idleWaitMs = 2;
    hooks.diskClusters = [](const char*, uint32_t* freeClusters, uint32_t* totalClusters) {
        *freeClusters = 0;
        *totalClusters = 1000;
        return true;
    };
    {
        LogRegistry registry(hooks);
        LogEntry* log = registry.CreateLog(logs.generic_string().c_str(), "app.log", 0, 0);
        ASSERT_NE(log, nullptr);
        // Idle passes prune a slice at a time until the tree is gone, all
        // but the read-only file with another name where deleting it would
        // mean changing its attributes (Windows).
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!Pruned(logs / "logfiles-2001") && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_TRUE(Pruned(logs / "logfiles-2001")) << "the planted archive was not pruned";

    const auto after = Snapshot(outside);
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [path, state] : before) {
        auto found = after.find(path);
        if (found == after.end()) {
            ADD_FAILURE() << "outside entry deleted: " << path;
            continue;
        }
        EXPECT_TRUE(found->second == state) << "outside entry changed: " << path;
    }
    std::printf("archive escape: %d links planted, %zu outside entries intact\n", planted,
                after.size());
}

}  // namespace
}  // namespace vosk
