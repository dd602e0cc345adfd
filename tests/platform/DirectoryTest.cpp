#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Directory.h"
#include "support/FileTree.h"
#include "support/TempDir.h"

namespace vosk::platform {
namespace {

namespace fs = std::filesystem;
using test::MakeDir;
using test::MakeFile;
using test::TempDir;

std::vector<DirEntry> Enumerate(const std::string& directory, const char* prefix = "",
                                bool* opened = nullptr) {
    std::vector<DirEntry> entries;
    DirEntry entry;
    DirSearch* search = DirFindFirst(directory.c_str(), prefix, &entry);
    if (opened != nullptr) {
        *opened = search != nullptr;
    }
    if (search == nullptr) {
        return entries;
    }
    do {
        entries.push_back(entry);
    } while (DirFindNext(search, &entry));
    EXPECT_FALSE(DirFindNext(search, &entry)) << "an ended search stays ended";
    DirFindClose(search);
    return entries;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const DirEntry& e : entries) {
        names.push_back(e.name);
    }
    return names;
}

const DirEntry* Find(const std::vector<DirEntry>& entries, const std::string& name) {
    for (const DirEntry& e : entries) {
        if (name == e.name) {
            return &e;
        }
    }
    return nullptr;
}

class DirectorySearch : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeDir(dir_.Path() / "logfiles-2024");
        MakeDir(dir_.Path() / "sub");
        for (const char* file : {"logfiles-x", "logfiles-a.b", "other.txt", "noext"}) {
            MakeFile(dir_.Path() / file);
        }
    }
    TempDir dir_;
};

TEST_F(DirectorySearch, ListsTheNamesThatBeginWithThePrefix) {
    struct Case {
        const char* prefix;
        std::vector<std::string> names;  // sorted; empty when nothing matches
    };
    const Case cases[] = {
        {"", {"logfiles-2024", "logfiles-a.b", "logfiles-x", "noext", "other.txt", "sub"}},
        {"logfiles-", {"logfiles-2024", "logfiles-a.b", "logfiles-x"}},
        {"n", {"noext"}},
        {"other.txt", {"other.txt"}},
        {"zzz", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        bool opened = false;
        std::vector<std::string> names = Names(Enumerate(dir_.Str(), c.prefix, &opened));
        EXPECT_EQ(opened, !c.names.empty()) << "an empty result is no search at all";
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.names) << "never \".\" or \"..\"";
    }
    EXPECT_TRUE(Enumerate(dir_.Str("sub")).empty()) << "an empty directory";
}

TEST_F(DirectorySearch, ReportsKindsAndCreationTimes) {
    std::string backslashed = dir_.Str();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    std::vector<DirEntry> entries = Enumerate(backslashed);
    ASSERT_EQ(entries.size(), 6u) << "backslash separators work too";
    // 100 ns units since 1601, as a FILETIME counts.
    const uint64_t now = (static_cast<uint64_t>(time(nullptr)) + 11644473600ull) * 10000000ull;
    const uint64_t day = 24ull * 3600 * 10000000ull;
    for (const DirEntry& e : entries) {
        SCOPED_TRACE(e.name);
        std::string name = e.name;
        bool directory = name == "logfiles-2024" || name == "sub";
        EXPECT_EQ(e.isDirectory, directory);
        EXPECT_FALSE(e.isLink);
        EXPECT_GT(e.createTime, now - day);
        EXPECT_LT(e.createTime, now + day);
    }
}

TEST_F(DirectorySearch, RefusesWhatCannotBeSearched) {
    DirEntry entry;
    EXPECT_EQ(DirFindFirst(nullptr, "", &entry), nullptr);
    EXPECT_EQ(DirFindFirst(dir_.Str().c_str(), nullptr, &entry), nullptr);
    EXPECT_EQ(DirFindFirst(dir_.Str().c_str(), "", nullptr), nullptr);
    EXPECT_EQ(DirFindFirst((dir_.Str() + "/missing").c_str(), "", &entry), nullptr);
    EXPECT_EQ(DirFindFirst((dir_.Str() + "/other.txt").c_str(), "", &entry), nullptr);
    EXPECT_EQ(DirFindFirst("", "", &entry), nullptr);
    EXPECT_FALSE(DirFindNext(nullptr, &entry));
    DirFindClose(nullptr);
}

TEST_F(DirectorySearch, ReportsLinksAsLinksNeverAsDirectories) {
    TempDir outside;
    MakeFile(outside.Path() / "canary");
    if (!test::MakeLink(outside.Path(), dir_.Path() / "dlink", true)) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    std::vector<DirEntry> entries = Enumerate(dir_.Str());
    const DirEntry* link = Find(entries, "dlink");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->isLink);
    EXPECT_FALSE(link->isDirectory);
    EXPECT_FALSE(Find(entries, "sub")->isLink);
}

// Where '\' is an ordinary character in names, a file named "..\x" would
// be addressed as "../x" through this layer: such names are reported, marked
// as not addressable, and deleted where they lie.
TEST_F(DirectorySearch, ReportsNamesWithBackslashesAndDeletesThemWhereTheyLie) {
    TempDir outside;
    MakeFile(dir_.Path() / "escape");
    MakeFile(dir_.Path() / "sub" / "..\\escape");
    if (test::CountEntries(dir_.Path() / "sub") != 1) {
        GTEST_SKIP() << "'\\' separates path components here";
    }
    MakeFile(dir_.Path() / "sub" / "a\\b" / "inside");
    MakeFile(outside.Path() / "canary");
    test::MakeLink(outside.Path(), dir_.Path() / "sub" / "a\\b" / "link", true);
    MakeFile(dir_.Path() / "sub" / "plain");

    DirEntry entry;
    DirSearch* search = DirFindFirst(dir_.Str("sub").c_str(), "", &entry);
    ASSERT_NE(search, nullptr);
    std::vector<std::string> names;
    do {
        names.push_back(entry.name);
        EXPECT_EQ(entry.addressable, std::string(entry.name).find('\\') == std::string::npos)
            << entry.name;
        if (!entry.addressable) {
            EXPECT_TRUE(DirDeleteEntry(search, &entry)) << entry.name;
        }
    } while (DirFindNext(search, &entry));
    DirFindClose(search);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"..\\escape", "a\\b", "plain"}));
    DirEntry parent{};
    strcpy(parent.name, "..");
    search = DirFindFirst(dir_.Str("sub").c_str(), "", &entry);
    ASSERT_NE(search, nullptr);
    EXPECT_FALSE(DirDeleteEntry(search, &parent)) << "never the directory or its parent";
    DirFindClose(search);
    EXPECT_EQ(test::CountEntries(dir_.Path() / "sub"), 1);
    EXPECT_TRUE(test::Exists(dir_.Path() / "sub" / "plain"));
    EXPECT_TRUE(test::Exists(dir_.Path() / "escape"));
    EXPECT_TRUE(test::Exists(outside.Path() / "canary"));
}

}  // namespace
}  // namespace vosk::platform
