// What other programs and users put at a log's path: a FIFO, which an open
// or a write could wait on for ever, and a directory the log may not write
// in. Each case runs in a child process with a time limit, so that a hang
// is reported as a failure instead of stopping the run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "log/Log.h"
#include "support/LogCalls.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::MakeLog;
using test::ReadBytes;
using test::TempDir;
using test::Trace;
using test::WriteBytes;

// Runs body in a child process that must end by itself within the time
// limit; its exit status, or -1 when it had to be killed.
int RunInChild(const std::function<int()>& body, int seconds = 20) {
    pid_t pid = fork();
    if (pid == 0) {
        alarm(static_cast<unsigned>(seconds));  // a hang ends the child
        _exit(body());
    }
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool IsFifo(const fs::path& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

TEST(HostileFiles, AFifoAtTheLogPathNeverBlocksAndIsNeverMoved) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir.Path() / "app.log").c_str(), 0600), 0);
    int status = RunInChild([&] {
        auto log = MakeLog(dir.Path());
        // Enough to fill a pipe's buffer many times over, and a rotation.
        const std::string text(1000, 'x');
        for (int i = 0; i < 2000; ++i) {
            Trace(*log, 0, "%d %s", i, text.c_str());
        }
        log->CheckRotation();
        log->ReopenIfMoved();
        Trace(*log, 0, "after");
        return 0;
    });
    EXPECT_EQ(status, 0) << "the writer hung or failed";
    EXPECT_TRUE(IsFifo(dir.Path() / "app.log"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Path() / "app.log.bak")));
}

TEST(HostileFiles, AFifoPutInPlaceOfTheFileIsLeftAlone) {
    TempDir dir;
    int status = RunInChild([&] {
        auto log = MakeLog(dir.Path());
        Trace(*log, 0, "first");
        fs::rename(dir.Path() / "app.log", dir.Path() / "app.log.1");
        mkfifo((dir.Path() / "app.log").c_str(), 0600);
        // Neither the idle pass's check nor the rotation at the size limit
        // opens or moves it.
        log->ReopenIfMoved();
        const std::string text(1000, 'x');
        for (int i = 0; i < 2000; ++i) {
            Trace(*log, 0, "%d %s", i, text.c_str());
        }
        return 0;
    });
    EXPECT_EQ(status, 0) << "the writer hung or failed";
    EXPECT_TRUE(IsFifo(dir.Path() / "app.log"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Path() / "app.log.bak")));
    // Until the rotation the records went on into the file they had.
    EXPECT_NE(ReadBytes(dir.Path() / "app.log.1").find("] 0 x"), std::string::npos);
}

// A directory the log may not write in: the backup cannot be made, so the
// file and the old backup both stay, and records go on into the file.
// Root may write anywhere, so the case needs an ordinary user: a test run
// as root drops to "nobody" in the child; one that cannot is skipped.
TEST(HostileFiles, InAReadOnlyDirectoryTheFileIsContinuedAndTheBackupKept) {
    TempDir dir;
    const fs::path logs = dir.Path() / "logs";
    fs::create_directory(logs);
    const std::string old(100, 'o');
    WriteBytes(logs / "app.log", old);
    WriteBytes(logs / "app.log.bak", "old backup");
    const uid_t user = getuid() == 0 ? 65534 : getuid();
    const gid_t group = getuid() == 0 ? 65534 : getgid();
    for (const fs::path& p : {logs, logs / "app.log", logs / "app.log.bak"}) {
        ASSERT_EQ(chown(p.c_str(), user, group), 0);
    }
    chmod(dir.Path().c_str(), 0755);
    chmod(logs.c_str(), 0555);
    int status = RunInChild([&] {
        if (getuid() == 0 && (setgid(group) != 0 || setuid(user) != 0)) {
            return 77;
        }
        if (access(logs.c_str(), W_OK) == 0) {
            return 77;  // still allowed to write: nothing to show
        }
        auto log = MakeLog(logs);
        for (int i = 0; i < 3; ++i) {
            Trace(*log, 0, "record %d", i);
        }
        return 0;
    });
    chmod(logs.c_str(), 0755);
    if (status == 77) {
        GTEST_SKIP() << "no ordinary user to run as";
    }
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(logs / "app.log.bak"), "old backup");
    const std::string content = ReadBytes(logs / "app.log");
    ASSERT_EQ(content.substr(0, old.size()), old);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(content.find("] record " + std::to_string(i) + "\n"), std::string::npos);
    }
}

}  // namespace
}  // namespace vosk
