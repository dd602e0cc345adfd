// Paths as Windows users have them: folders whose names the ANSI code page
// cannot spell, and paths longer than MAX_PATH.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "log/LogPaths.h"
#include "platform/Disk.h"
#include "platform/Files.h"
#include "platform/win32/PathCalls.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;

// Runs a program by its wide name in a directory of its own; its exit code.
DWORD RunProgram(const fs::path& program, const std::wstring& arguments,
                 const fs::path& directory) {
    std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.wstring().c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.wstring().c_str(), &startup, &process)) {
        ADD_FAILURE() << "cannot start the host: error " << GetLastError();
        return ~DWORD(0);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = ~DWORD(0);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "old\n";
}

// A host under a folder named in Polish, Japanese and an emoji: its default
// and relative logs are made there and the purge at load runs there.
TEST(WidePaths, AHostUnderAFolderTheAnsiCodePageCannotSpell) {
    test::TempDir dir;
    for (const wchar_t* name : {L"\u0141ukasz", L"\u30c4\u30fc\u30eb", L"logs \U0001F4C1"}) {
        SCOPED_TRACE(fs::path(name).u8string());
        const fs::path root = dir.Path() / name;
        const fs::path bin = root / L"bin";
        fs::create_directories(bin);
        const fs::path host = bin / fs::path(VOSK_TEST_HOST).filename();
        const fs::path library = bin / fs::path(VOSK_LIBRARY).filename();
        fs::copy_file(VOSK_TEST_HOST, host);
        fs::copy_file(VOSK_LIBRARY, library);
        Touch(root / L"log" / L"old.log");
        Touch(bin / L"log_files" / L"app.log");

        // The library by its bare name: the loader finds it beside the host.
        EXPECT_EQ(RunProgram(host, library.filename().wstring() + L" basic", bin), 0u);

        EXPECT_FALSE(fs::exists(root / L"log" / L"old.log")) << "the purge did not run there";
        const std::string app = test::ReadBytes(bin / L"log_files" / L"app.log");
        EXPECT_NE(app.find("thread 0 record 999 of app"), std::string::npos);
        EXPECT_EQ(app.find("old"), std::string::npos) << "the leftover was not purged";
        EXPECT_NE(test::ReadBytes(bin / L"logs" / L"other.log").find("kept after the change"),
                  std::string::npos);
    }
}

// The host's text for a directory and a name is taken in its ANSI code
// page: Windows-1252 (or whatever the system's is) for the plain host, UTF-8
// for the one whose manifest asks for it, which can name any folder.
TEST(WidePaths, HostTextIsTakenInTheProcesssAnsiCodePage) {
    struct Case {
        const char* host;
        const wchar_t* directory;
        const wchar_t* name;
    };
    const Case cases[] = {
        {VOSK_TEST_HOST, L"M\u00fcller", L"caf\u00e9.log"},
        {VOSK_TEST_HOST_UTF8, L"\u0141ukasz \u30c4\u30fc\u30eb \U0001F4C1", L"\u65e5\u672c.log"},
    };
    test::TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        const fs::path bin = dir.Path() / ("bin" + std::to_string(n++));
        fs::create_directories(bin);
        const fs::path host = bin / fs::path(c.host).filename();
        const fs::path library = bin / fs::path(VOSK_LIBRARY).filename();
        fs::copy_file(c.host, host);
        fs::copy_file(VOSK_LIBRARY, library);
        const fs::path directory = dir.Path() / c.directory;
        EXPECT_EQ(RunProgram(host,
                             library.filename().wstring() + L" named \"" + directory.wstring() +
                                 L"\" " + c.name,
                             bin),
                  0u);
        EXPECT_NE(test::ReadBytes(directory / c.name).find("named record"), std::string::npos);
    }
}

// The day archive's calls and the disk query take such names too.
TEST(WidePaths, ArchiveAndDiskCallsTakeAnyName) {
    test::TempDir dir;
    const fs::path folder = dir.Path() / L"\u30c4\u30fc\u30eb";
    fs::create_directories(folder);
    const std::string utf8 = folder.u8string();
    uint32_t freeClusters = 0, totalClusters = 0;
    EXPECT_TRUE(platform::DiskClusters(utf8.c_str(), &freeClusters, &totalClusters));
    EXPECT_GT(totalClusters, 0u);
    test::WriteBytes(folder / L"a.log", "a");
    test::WriteBytes(folder / L"b.log", "b");
    const std::string a = (folder / L"a.log").u8string();
    const std::string b = (folder / L"b.log").u8string();
    const std::string c = (folder / L"\u65e5.log").u8string();
    EXPECT_FALSE(platform::FileMoveNoReplace(a.c_str(), b.c_str())) << "b is taken";
    EXPECT_TRUE(platform::FileMoveNoReplace(a.c_str(), c.c_str()));
    int64_t seconds = 0;
    EXPECT_TRUE(platform::FileWriteTime(c.c_str(), &seconds));
    EXPECT_GT(seconds, 0);
    EXPECT_EQ(test::ReadBytes(folder / L"\u65e5.log"), "a");
}

// Absolute paths past MAX_PATH: their folders are made and the file is
// opened, written, identified and moved.
TEST(WidePaths, PathsLongerThanMaxPath) {
    test::TempDir dir;
    std::string directory = dir.Str();
    while (directory.size() < 2 * MAX_PATH) {
        directory += "/" + std::string(50, 'd');
    }
    const std::string file = directory + "/app.log";
    int fd = OpenCreating(file.c_str(), platform::kOpenCreate | platform::kOpenAppend);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(platform::FileWrite(fd, "record\n", 7), 7);
    platform::FileId open{}, atPath{};
    EXPECT_TRUE(platform::FileIdOf(fd, &open));
    EXPECT_TRUE(platform::PathFileId(file.c_str(), &atPath));
    EXPECT_TRUE(open == atPath);
    EXPECT_EQ(platform::FileClose(fd), 0);
    EXPECT_TRUE(platform::PathIsDirectory(directory.c_str()));
    EXPECT_EQ(platform::FileSizeOf(file.c_str()), 8);  // CR LF
    EXPECT_TRUE(platform::FileRename(file.c_str(), (file + ".bak").c_str()));
    EXPECT_TRUE(platform::FileExists((file + ".bak").c_str()));
    EXPECT_FALSE(platform::FileExists(file.c_str()));
}

}  // namespace
}  // namespace vosk
