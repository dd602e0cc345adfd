#include "Options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vosklog {

namespace {

// Whole text as a decimal integer within [low, high].
bool ParseInteger(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty() || text.find_first_of(" \t") != std::string::npos) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

}  // namespace

bool ParseSize(const std::string& text, int32_t* size) {
    if (text.empty()) {
        return false;
    }
    long long unit = 1;
    std::string digits = text;
    switch (text.back()) {
        case 'k':
        case 'K':
            unit = 1LL << 10;
            break;
        case 'm':
        case 'M':
            unit = 1LL << 20;
            break;
        case 'g':
        case 'G':
            unit = 1LL << 30;
            break;
        default:
            break;
    }
    if (unit != 1) {
        digits.pop_back();
    }
    long long count = 0;
    if (!ParseInteger(digits, 0, INT32_MAX, &count) || count > INT32_MAX / unit) {
        return false;
    }
    *size = static_cast<int32_t>(count * unit);
    return true;
}

ParseResult ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            return ParseResult::kHelp;
        }
        if (arg == "--version") {
            return ParseResult::kVersion;
        }
        if (arg == "--drop-when-full") {
            options->dropWhenFull = true;
            continue;
        }
        if (arg == "--raw") {
            options->raw = true;
            continue;
        }
        if (arg == "--tee") {
            options->tee = true;
            continue;
        }
        if (arg == "--dry-run") {
            options->dryRun = true;
            continue;
        }
        const bool takesValue = arg == "-d" || arg == "-n" || arg == "-s" || arg == "-l" ||
                                arg == "--disk-limit" || arg == "--keep-days" ||
                                arg == "--on-rotate";
        if (!takesValue) {
            *error = "unknown option '" + arg + "'";
            return ParseResult::kError;
        }
        if (i + 1 >= argc) {
            *error = "option '" + arg + "' needs a value";
            return ParseResult::kError;
        }
        const std::string value = argv[++i];
        long long number = 0;
        if (arg == "-d") {
            if (value.find_first_not_of(" \t") == std::string::npos) {
                *error = "-d needs a directory";
                return ParseResult::kError;
            }
            options->directory = value;
        } else if (arg == "-n") {
            if (value.empty()) {
                *error = "-n needs a file name";
                return ParseResult::kError;
            }
            options->name = value;
            named = true;
        } else if (arg == "-s") {
            if (!ParseSize(value, &options->sizeLimit)) {
                *error = "bad size '" + value + "' (a number with K, M or G, below 2G)";
                return ParseResult::kError;
            }
            options->sizeLimitSet = true;
        } else if (arg == "-l") {
            if (!ParseInteger(value, INT32_MIN, INT32_MAX, &number)) {
                *error = "bad level '" + value + "' (a 32-bit integer)";
                return ParseResult::kError;
            }
            options->level = static_cast<int32_t>(number);
        } else if (arg == "--keep-days") {
            if (!ParseInteger(value, 0, INT32_MAX, &number)) {
                *error = "bad number of days '" + value + "' (0 or more)";
                return ParseResult::kError;
            }
            options->keepDays = static_cast<int32_t>(number);
        } else if (arg == "--on-rotate") {
            if (value.find_first_not_of(" \t") == std::string::npos) {
                *error = "--on-rotate needs a command";
                return ParseResult::kError;
            }
            options->onRotate = value;
        } else {
            if (!ParseInteger(value, 0, UINT32_MAX, &number)) {
                *error = "bad disk limit '" + value + "' (per mille, 200 to 950)";
                return ParseResult::kError;
            }
            options->diskLimit = static_cast<uint32_t>(number);
            options->diskLimitSet = true;
        }
    }
    if (!named) {
        *error = "-n NAME is required";
        return ParseResult::kError;
    }
    return ParseResult::kRun;
}

const char* Usage() {
    return "usage: vosklog -n NAME [-d DIR] [-s SIZE] [-l LEVEL] [--raw] [--tee]\n"
           "               [--disk-limit PERMILLE] [--keep-days N] [--drop-when-full]\n"
           "               [--on-rotate CMD] [--dry-run]\n"
           "       vosklog --help | --version\n"
           "\n"
           "Writes each line of standard input as one record of the log DIR/NAME,\n"
           "stamped with the local time to the millisecond and written through. The\n"
           "file moves to NAME.bak at each new local day and when it reaches SIZE.\n"
           "\n"
           "  -d DIR       directory of the log, relative to the current directory\n"
           "               (default: the current directory); created when missing\n"
           "  -n NAME      file name of the log (required)\n"
           "  -s SIZE      size limit in characters, with K, M or G (default 2M,\n"
           "               at least 1M)\n"
           "  -l LEVEL     threshold: a line of a greater level is dropped (default 0)\n"
           "  --raw        lines without stamp, indented instead\n"
           "  --tee        also copy every line to standard output, as read\n"
           "  --disk-limit PERMILLE\n"
           "               prune archived day directories under DIR when the disk\n"
           "               that holds DIR is fuller than this (200 to 950, default\n"
           "               800)\n"
           "  --keep-days N\n"
           "               keep each backup in DIR/logfiles-YYYY/MM/YYYY-MM-DD/ as\n"
           "               NAME.YYYYMMDD-HHMMSS instead of replacing it, and delete\n"
           "               day directories more than N days old (default 0: off)\n"
           "  --drop-when-full\n"
           "               when a line cannot be written, drop it and go on reading\n"
           "               instead of waiting; the lines dropped are counted\n"
           "  --on-rotate CMD\n"
           "               after each move of the file out of the way, run the shell\n"
           "               command CMD with the path it moved to as its argument\n"
           "  --dry-run    print the file, backup, size limit, level and disk limit\n"
           "               that would be used, and exit\n"
           "  --help       this text\n"
           "  --version    the version of vosklog and exit\n"
           "\n"
           "A line that starts with <N> is written at level N, without the prefix;\n"
           "other lines at level 0. Lines are written as they stand: no format, any\n"
           "length, any bytes. A line ends at LF or CR LF; a last line without one is\n"
           "written too.\n"
           "\n"
           "A line that cannot be written (a full disk, a file that cannot be opened)\n"
           "is kept and tried again, up to once a second; meanwhile no more input is\n"
           "read, so the writer of the pipe waits. Standard error says when this\n"
           "starts and how long it lasted.\n"
           "\n"
           "CMD runs with standard input from the null device and its output on\n"
           "vosklog's standard error; lines go on being written while it runs. One\n"
           "runs at a time: a move while it still runs is reported and skipped. At\n"
           "exit one still running gets two seconds to end, then is left to run.\n"
           "\n"
           "Signals (POSIX): SIGHUP closes the file and opens its path again (after\n"
           "it was renamed); SIGALRM moves the file out of the way now; SIGUSR1,\n"
           "SIGUSR2 and SIGPIPE are ignored. At the end of input, SIGINT or SIGTERM\n"
           "(Ctrl+C or Ctrl+Break on Windows) every line read is written, the log\n"
           "closed and vosklog exits with 0; 1 when standard input could not be read,\n"
           "or when it was stopped while lines could not be written (how many is\n"
           "said); 2 for a bad option or a directory that cannot be created, before\n"
           "anything is read.\n";
}

std::string VersionLine() {
    return std::string("vosklog ") + VOSKLOG_VERSION + "\n";
}

}  // namespace vosklog
