#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Files.h"
#include "platform/HeldDirectory.h"
#include "support/FileTree.h"
#include "support/TempDir.h"

namespace vosk::platform {
namespace {

using test::OnDisk;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

long WriteText(int fd, const std::string& text) {
    return FileWrite(fd, text.data(), text.size());
}

TEST(FileOpen, CreatesAndWritesInTextMode) {
    TempDir dir;
    std::string path = dir.Str("a.log");
    int fd = FileOpen(path.c_str(), kOpenCreate | kOpenTruncate);
    ASSERT_GE(fd, 0);
    // The count is of the bytes given; a line feed may become two on disk.
    EXPECT_EQ(WriteText(fd, "one\ntwo\n"), 8);
    EXPECT_EQ(FileClose(fd), 0);
    EXPECT_EQ(ReadBytes(path), OnDisk("one\ntwo\n"));
    EXPECT_EQ(FileSizeOf(path.c_str()), static_cast<int64_t>(OnDisk("one\ntwo\n").size()));
}

TEST(FileOpen, FlagsDecideWhatHappensToExistingContent) {
    struct Case {
        int flags;
        const char* expected;
    };
    const Case cases[] = {
        {kOpenCreate | kOpenTruncate, "xy"},
        {kOpenCreate | kOpenAppend, "abcdefxy"},
        {kOpenAppend, "abcdefxy"},
        {kOpenCreate, "xycdef"},  // neither: writes start at the beginning
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        std::string path = dir.Str("f.txt");
        WriteBytes(path, "abcdef");
        int fd = FileOpen(path.c_str(), c.flags);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(WriteText(fd, "xy"), 2);
        FileClose(fd);
        EXPECT_EQ(ReadBytes(path), c.expected);
    }
}

TEST(FileOpen, FailsWithoutCreateOrParentOrPath) {
    TempDir dir;
    EXPECT_EQ(FileOpen(dir.Str("missing.txt").c_str(), kOpenAppend), -1);
    EXPECT_EQ(FileOpen(dir.Str("no/such/dir/f.txt").c_str(), kOpenCreate), -1);
    EXPECT_EQ(FileOpen(dir.Str().c_str(), kOpenCreate), -1);  // a directory
    EXPECT_EQ(FileOpen(nullptr, kOpenCreate), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing.txt"));
}

TEST(FileOpen, IsSharedWithOtherWriters) {
    TempDir dir;
    std::string path = dir.Str("shared.txt");
    int first = FileOpen(path.c_str(), kOpenCreate | kOpenTruncate | kOpenAppend);
    ASSERT_GE(first, 0);
    int second = FileOpen(path.c_str(), kOpenAppend);
    ASSERT_GE(second, 0);
    EXPECT_EQ(WriteText(first, "1"), 1);
    EXPECT_EQ(WriteText(second, "2"), 1);
    FileClose(first);
    FileClose(second);
    EXPECT_EQ(ReadBytes(path), "12");
}

TEST(FileOpen, CreatesWithTheSamePermissionsAsTheRuntime) {
    // The runtime's own files are created readable and writable for all
    // that the umask lets through; ours must be no different.
    TempDir dir;
    std::string ours = dir.Str("ours.txt");
    int fd = FileOpen(ours.c_str(), kOpenCreate);
    ASSERT_GE(fd, 0);
    FileClose(fd);
    std::ofstream(dir.Path() / "theirs.txt").put('x');
    EXPECT_EQ(std::filesystem::status(ours).permissions(),
              std::filesystem::status(dir.Path() / "theirs.txt").permissions());

    ASSERT_TRUE(DirectoryMake(dir.Str("ourdir").c_str()));
    ASSERT_TRUE(std::filesystem::create_directory(dir.Path() / "theirdir"));
    EXPECT_EQ(std::filesystem::status(dir.Path() / "ourdir").permissions(),
              std::filesystem::status(dir.Path() / "theirdir").permissions());
}

TEST(FileOpen, DescriptorIsNotInherited) {
    TempDir dir;
    std::string path = dir.Str("cloexec.txt");
    int fd = FileOpen(path.c_str(), kOpenCreate);
    ASSERT_GE(fd, 0);
    // Where the system describes its descriptors (and this one is ours),
    // the close-on-exec bit (octal 02000000) must be among its flags.
    std::string fdName = std::to_string(fd);
    std::error_code ec;
    std::filesystem::path target = std::filesystem::read_symlink("/proc/self/fd/" + fdName, ec);
    std::string flags;
    if (!ec && target == std::filesystem::canonical(path, ec)) {
        std::ifstream info("/proc/self/fdinfo/" + fdName);
        std::string key;
        while (info >> key && key != "flags:") {
        }
        info >> flags;
    }
    FileClose(fd);
    if (flags.empty()) {
        GTEST_SKIP() << "descriptor flags are not reported here";
    }
    EXPECT_NE(std::stoul(flags, nullptr, 8) & 02000000u, 0u) << flags;
}

TEST(FileWrite, RefusesBadDescriptorsAndBuffers) {
    EXPECT_LT(FileWrite(-1, "x", 1), 0);
    EXPECT_LT(FileClose(-1), 0);
    TempDir dir;
    int fd = FileOpen(dir.Str("w.txt").c_str(), kOpenCreate);
    ASSERT_GE(fd, 0);
    EXPECT_LT(FileWrite(fd, nullptr, 1), 0);
    EXPECT_EQ(FileWrite(fd, "x", 0), 0);
    FileClose(fd);
    EXPECT_EQ(FileSizeOf(dir.Str("w.txt").c_str()), 0);
}

TEST(FileQueries, ExistsAndSize) {
    TempDir dir;
    WriteBytes(dir.Path() / "five", "12345");
    EXPECT_TRUE(FileExists(dir.Str("five").c_str()));
    EXPECT_TRUE(FileExists(dir.Str().c_str()));  // directories exist too
    EXPECT_FALSE(FileExists(dir.Str("none").c_str()));
    EXPECT_FALSE(FileExists(nullptr));
    EXPECT_EQ(FileSizeOf(dir.Str("five").c_str()), 5);
    EXPECT_EQ(FileSizeOf(dir.Str("none").c_str()), -1);
    EXPECT_EQ(FileSizeOf(nullptr), -1);
    const int fd = FileOpen(dir.Str("five").c_str(), kOpenAppend);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(FileSizeOfOpen(fd), 5);
    FileClose(fd);
    EXPECT_EQ(FileSizeOfOpen(-1), -1);
    EXPECT_FALSE(PathIsDirectory(dir.Str("five").c_str()));
    EXPECT_TRUE(PathIsDirectory(dir.Str().c_str()));
    EXPECT_FALSE(PathIsDirectory(dir.Str("none").c_str()));
    EXPECT_FALSE(PathIsDirectory(nullptr));
}

TEST(FileRenameIn, MovesAndReportsFailure) {
    TempDir dir;
    const HeldDirectoryPtr held(DirectoryHold(dir.Str().c_str()));
    ASSERT_NE(held, nullptr);
    WriteBytes(dir.Path() / "a", "data");
    EXPECT_TRUE(FileRenameIn(held.get(), "a", "b"));
    EXPECT_FALSE(FileExists(dir.Str("a").c_str()));
    EXPECT_EQ(ReadBytes(dir.Path() / "b"), "data");
    EXPECT_FALSE(FileRenameIn(held.get(), "a", "c"));
    EXPECT_FALSE(FileRenameIn(held.get(), nullptr, "c"));
    EXPECT_FALSE(FileRenameIn(held.get(), "b", nullptr));
    EXPECT_FALSE(FileRenameIn(nullptr, "b", "c"));
    // A non-empty directory in the way cannot be replaced.
    std::filesystem::create_directories(dir.Path() / "d" / "inner");
    EXPECT_FALSE(FileRenameIn(held.get(), "b", "d"));
    EXPECT_EQ(ReadBytes(dir.Path() / "b"), "data");
}

TEST(FileRenameIn, ReplacesAnExistingFileInOneStep) {
    TempDir dir;
    const HeldDirectoryPtr held(DirectoryHold(dir.Str().c_str()));
    ASSERT_NE(held, nullptr);
    WriteBytes(dir.Path() / "a", "new");
    WriteBytes(dir.Path() / "b", "old");
    EXPECT_TRUE(FileRenameIn(held.get(), "a", "b"));
    EXPECT_FALSE(FileExists(dir.Str("a").c_str()));
    EXPECT_EQ(ReadBytes(dir.Path() / "b"), "new");
}

TEST(FileOpen, OpensOnlyAPlainFileAndLeavesAnythingElseAsItIs) {
    TempDir dir;
    TempDir outside;
    WriteBytes(outside.Path() / "target", "outside");
    WriteBytes(dir.Path() / "plain", "plain");
    std::filesystem::create_directory(dir.Path() / "directory");
    const bool links = test::MakeLink(outside.Path() / "target", dir.Path() / "link", false);
    test::MakeLink(outside.Path() / "missing", dir.Path() / "dangling", false);
    const int flagSets[] = {kOpenCreate | kOpenTruncate, kOpenCreate | kOpenAppend, kOpenAppend};
    for (int flags : flagSets) {
        SCOPED_TRACE(flags);
        EXPECT_EQ(FileOpen(dir.Str("directory").c_str(), flags), -1);
        if (links) {
            EXPECT_EQ(FileOpen(dir.Str("link").c_str(), flags), -1);
            EXPECT_EQ(FileOpen(dir.Str("dangling").c_str(), flags), -1);
        }
        int fd = FileOpen(dir.Str("plain").c_str(), flags);
        EXPECT_GE(fd, 0);
        FileClose(fd);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "directory"));
    EXPECT_EQ(ReadBytes(outside.Path() / "target"), "outside");
    EXPECT_FALSE(std::filesystem::exists(outside.Path() / "missing"));
}

TEST(FileQueries, PlainFilesAndIdentities) {
    TempDir dir;
    WriteBytes(dir.Path() / "file", "x");
    std::filesystem::create_directory(dir.Path() / "directory");
    const bool links = test::MakeLink(dir.Path() / "file", dir.Path() / "link", false);
    const HeldDirectoryPtr held(DirectoryHold(dir.Str().c_str()));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(EntryIn(held.get(), "file").kind, EntryKind::kPlainFile);
    EXPECT_EQ(EntryIn(held.get(), "directory").kind, EntryKind::kDirectory);
    EXPECT_EQ(EntryIn(held.get(), "none").kind, EntryKind::kNone);
    EXPECT_EQ(EntryIn(held.get(), nullptr).kind, EntryKind::kNone);
    if (links) {
        EXPECT_EQ(EntryIn(held.get(), "link").kind, EntryKind::kOther);
    }

    // The open file and its path are one file until the path names another.
    int fd = FileOpen(dir.Str("file").c_str(), kOpenAppend);
    ASSERT_GE(fd, 0);
    FileId open{};
    ASSERT_TRUE(FileIdOf(fd, &open));
    EXPECT_TRUE(open == EntryIn(held.get(), "file").id);
    EXPECT_FALSE(open == EntryIn(held.get(), "directory").id);
    if (links) {
        EXPECT_FALSE(open == EntryIn(held.get(), "link").id) << "a link is not followed";
    }
    FileId other{};
    EXPECT_FALSE(FileIdOf(-1, &other));
    FileClose(fd);
}

TEST(DirectoryMake, CreatesOneLevel) {
    TempDir dir;
    EXPECT_TRUE(DirectoryMake(dir.Str("x").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "x"));
    EXPECT_FALSE(DirectoryMake(dir.Str("x").c_str()));  // exists
    EXPECT_FALSE(DirectoryMake(dir.Str("p/q").c_str()));
    EXPECT_FALSE(DirectoryMake(nullptr));
}

TEST(Paths, BackslashSeparatesLikeSlash) {
    TempDir dir;
    std::string sub = dir.Str() + "\\sub";
    ASSERT_TRUE(DirectoryMake(sub.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "sub"));
    std::string file = sub + "\\f.txt";
    int fd = FileOpen(file.c_str(), kOpenCreate);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(WriteText(fd, "abc"), 3);
    FileClose(fd);
    EXPECT_TRUE(FileExists(dir.Str("sub/f.txt").c_str()));
    EXPECT_EQ(FileSizeOf(file.c_str()), 3);
}

TEST(Paths, LimitIsAtLeastTheWindowsOne) {
    EXPECT_GE(kPathLimit, 260);
}

}  // namespace
}  // namespace vosk::platform
