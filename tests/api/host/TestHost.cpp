// A host program as a user writes one: it loads the library at run time and
// reaches it through the exported functions only.
//
//   test_host <library> basic
//   test_host <library> named <directory> <name>   one record in that log
//   test_host <library> archive
//   test_host <library> options   the option export's answers, then records
//   test_host <library> rotate
//   test_host <library> prune on|default   records of the archive's prune
//
// Prints "done" when the scenario ran to its end and the library unloaded.
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "VOSK_Log.h"
#include "support/HostLibrary.h"

namespace {

// Also formatted by the test with the C library, to compare.
constexpr char kWideFormat[] = "%ld %lld %zu %hd %E %#x %.3f %+g";

struct Exports {
    decltype(&SL_CreateLog) create;
    decltype(&SL_DestroyLog) destroy;
    decltype(&SL_ChangeLevel) changeLevel;
    decltype(&SL_TraceLog) trace;
    decltype(&SL_Print) print;
    decltype(&SL_Write) write;
    decltype(&SL_SetLogDiskLimit) setDiskLimit;
    decltype(&SL_SetLogArchive) setArchive;
    decltype(&SL_SetLogOption) setOption;
};

template <typename F>
bool Bind(void* library, const char* name, F* out) {
    *out = reinterpret_cast<F>(vosk::test::LibrarySymbol(library, name));
    return *out != nullptr;
}

void PrintThrough(const Exports& x, LogHandle log, int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    x.print(log, level, format, args);
    va_end(args);
}

// Records from several threads, levels, raw text, a destroyed log.
int Basic(const Exports& x) {
    LogHandle app = x.create(nullptr, "app.log", 0, 5);
    LogHandle other = x.create("logs", "other.log", 0, 3);
    if (app == nullptr || other == nullptr) {
        return 1;
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&x, app, t] {
            for (int i = 0; i < 1000; ++i) {
                x.trace(app, t, "thread %d record %d of %s", t, i, "app");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    x.trace(app, 6, "dropped by the level");
    x.write(app, "raw text");
    x.trace(app, 5, "after raw");
    PrintThrough(x, app, 0, "through %s: %05d", "SL_Print", 42);
    // printf's own conversions and argument sizes.
    x.trace(app, 0, "user %i name %s", 7, "bob");
    x.trace(app, 0, kWideFormat, 1L << 30, 1LL << 40, static_cast<size_t>(-1), 70000, 1e-7, 255,
            2.0 / 3, -0.0);

    x.trace(other, 3, "before the change");
    x.changeLevel(other, 1);
    x.trace(other, 3, "dropped after the change");
    x.trace(other, 1, "kept after the change");
    x.write(other, "pending when destroyed");
    x.destroy(other);
    x.destroy(nullptr);
    x.setDiskLimit(900);
    x.trace(nullptr, 0, "a null handle is ignored");
    x.write(nullptr, "ignored too");
    x.changeLevel(nullptr, 3);
    return 0;
}

// The host's own text for the log's directory and name, as its command
// line brings it (in the process's ANSI code page).
int Named(const Exports& x, const char* directory, const char* name) {
    LogHandle log = x.create(directory, name, 0, 3);
    if (log == nullptr) {
        return 1;
    }
    x.trace(log, 1, "named record");
    x.destroy(log);
    return 0;
}

// Five files' worth of numbered records into a log with the day archive on:
// "archive/app.log" beside the executable, a new file at every 1 MiB.
int Archive(const Exports& x) {
    LogHandle log = x.create("archive", "app.log", 0, 0);
    if (log == nullptr) {
        return 1;
    }
    x.setArchive(log, 7);
    x.setArchive(nullptr, 7);
    const std::string filler(200, 'f');
    for (int i = 0; i < 5 * 1048576 / 226 + 10; ++i) {
        x.trace(log, 0, "record %d %s", i, filler.c_str());
    }
    return 0;
}

// Every answer of SL_SetLogOption to a table of calls, one line each
// ("<option> <value>: <result>", the null log as option "null"), then
// three files' worth of records into "options/app.log" with whatever the
// calls that were taken left set.
// True while a plain file lies in the archive beneath logs.
bool PlainArchived(const std::filesystem::path& logs) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(logs, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && it->path().parent_path() != logs &&
            it->path().extension() != ".gz") {
            return true;
        }
    }
    return false;
}

int Options(const Exports& x, const char* argv0) {
    LogHandle log = x.create("options", "app.log", 0, 0);
    if (log == nullptr) {
        return 1;
    }
    struct Call {
        bool nullLog;
        int option;
        int value;
    };
    const Call calls[] = {
        {true, SL_OPTION_ARCHIVE_DAYS, 7},
        {false, 0, 0},
        {false, 6, 0},
        {false, -1, 1},
        {false, INT_MIN, 1},
        {false, SL_OPTION_ARCHIVE_DAYS, 7},
        // Refused: the archive stays on for 7 days.
        {false, SL_OPTION_ARCHIVE_DAYS, -1},
        {false, SL_OPTION_ARCHIVE_DAYS, INT_MIN},
        {false, SL_OPTION_COMPRESS, 1},
        // Refused: compression stays on.
        {false, SL_OPTION_COMPRESS, -1},
        {false, SL_OPTION_COMPRESS, 2},
        {false, SL_OPTION_STAMP, SL_STAMP_UTC},
        // Refused: the stamps stay UTC.
        {false, SL_OPTION_STAMP, -1},
        {false, SL_OPTION_STAMP, 3},
        {false, SL_OPTION_STAMP, INT_MAX},
        {false, SL_OPTION_GAP_RECORDS, 2},
        {false, SL_OPTION_GAP_RECORDS, -1},
        {false, SL_OPTION_GAP_RECORDS, 0},
        {false, SL_OPTION_GAP_RECORDS, 1},
        {false, SL_OPTION_PRUNE_RECORDS, 2},
        {false, SL_OPTION_PRUNE_RECORDS, -1},
        {false, SL_OPTION_PRUNE_RECORDS, 1},
        {false, SL_OPTION_PRUNE_RECORDS, 0},
    };
    for (const Call& call : calls) {
        const int result = x.setOption(call.nullLog ? nullptr : log, call.option, call.value);
        if (call.nullLog) {
            printf("null %d: %d\n", call.value, result);
        } else {
            printf("%d %d: %d\n", call.option, call.value, result);
        }
    }
    const std::string filler(200, 'o');
    for (int i = 0; i < 3 * 1048576 / 226 + 10; ++i) {
        x.trace(log, 0, "record %d %s", i, filler.c_str());
    }
    // The library's thread compresses the archived files: up to a minute
    // for it to get to them before the library is unloaded.
    const auto logs = std::filesystem::path(argv0).parent_path() / "options";
    for (int waits = 0; waits < 1200 && PlainArchived(logs); ++waits) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

// Five files' worth of numbered records into "rotate/app.log" beside the
// executable, without the archive: a new file at every 1 MiB.
int Rotate(const Exports& x) {
    LogHandle log = x.create("rotate", "app.log", 0, 0);
    if (log == nullptr) {
        return 1;
    }
    const std::string filler(200, 'f');
    for (int i = 0; i < 5 * 1048576 / 226 + 10; ++i) {
        x.trace(log, 0, "record %d %s", i, filler.c_str());
    }
    return 0;
}

// "prune/app.log" beside the executable with the archive kept 7 days,
// over day folders of 2020 that the test made: with how "on", prune
// records are turned on, then values the option does not take are tried,
// which must leave it on; with "default" only those, which must leave it
// off. Prints each answer, and ends once the library's thread has deleted
// the folders (the records of a prune are written in the same step of its
// pass, which an unload lets end).
int Prune(const Exports& x, const char* argv0, const char* how) {
    LogHandle log = x.create("prune", "app.log", 0, 0);
    if (log == nullptr) {
        return 1;
    }
    if (x.setOption(log, SL_OPTION_ARCHIVE_DAYS, 7) != 0) {
        return 1;
    }
    if (strcmp(how, "on") == 0) {
        printf("on: %d\n", x.setOption(log, SL_OPTION_PRUNE_RECORDS, 1));
    }
    for (int bad : {2, -1, INT_MIN, INT_MAX}) {
        printf("%d: %d\n", bad, x.setOption(log, SL_OPTION_PRUNE_RECORDS, bad));
    }
    // The prune works in the directory the log holds: open it first.
    x.trace(log, 0, "opens the file");
    // The records of a prune pass any threshold.
    x.changeLevel(log, -1000);
    const auto old = std::filesystem::path(argv0).parent_path() / "prune" / "logfiles-2020";
    std::error_code ec;
    for (int waits = 0; waits < 400 && std::filesystem::exists(old, ec); ++waits) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return std::filesystem::exists(old, ec) ? 7 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: test_host <library> <scenario>\n");
        return 2;
    }
    void* library = vosk::test::LibraryOpen(argv[1]);
    if (library == nullptr) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 3;
    }
    Exports x{};
    if (!Bind(library, "SL_CreateLog", &x.create) || !Bind(library, "SL_DestroyLog", &x.destroy) ||
        !Bind(library, "SL_ChangeLevel", &x.changeLevel) ||
        !Bind(library, "SL_TraceLog", &x.trace) || !Bind(library, "SL_Print", &x.print) ||
        !Bind(library, "SL_Write", &x.write) ||
        !Bind(library, "SL_SetLogDiskLimit", &x.setDiskLimit) ||
        !Bind(library, "SL_SetLogArchive", &x.setArchive) ||
        !Bind(library, "SL_SetLogOption", &x.setOption)) {
        fprintf(stderr, "missing export\n");
        return 4;
    }
    int result = 5;
    if (strcmp(argv[2], "basic") == 0) {
        result = Basic(x);
    } else if (strcmp(argv[2], "named") == 0 && argc == 5) {
        result = Named(x, argv[3], argv[4]);
    } else if (strcmp(argv[2], "rotate") == 0) {
        result = Rotate(x);
    } else if (strcmp(argv[2], "archive") == 0) {
        result = Archive(x);
    } else if (strcmp(argv[2], "options") == 0) {
        result = Options(x, argv[0]);
    } else if (strcmp(argv[2], "prune") == 0 && argc == 4) {
        result = Prune(x, argv[0], argv[3]);
    }
    if (!vosk::test::LibraryClose(library)) {
        return 6;
    }
    if (result == 0) {
        printf("done\n");
    }
    return result;
}
