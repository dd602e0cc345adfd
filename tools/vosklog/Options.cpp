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
                                arg == "--disk-limit" || arg == "--keep-days";
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
           "               [--disk-limit PERMILLE] [--keep-days N] [--dry-run]\n"
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
           "  --dry-run    print the file, backup, size limit, level and disk limit\n"
           "               that would be used, and exit\n"
           "  --help       this text\n"
           "\n"
           "A line that starts with <N> is written at level N, without the prefix;\n"
           "other lines at level 0. Lines are written as they stand: no format, any\n"
           "length, any bytes. A line ends at LF or CR LF; a last line without one is\n"
           "written too. At the end of input, SIGINT or SIGTERM (Ctrl+C or Ctrl+Break\n"
           "on Windows) every line read is written, the log closed and vosklog exits\n"
           "with 0; 1 when standard input could not be read; 2 for a bad option or a\n"
           "directory that cannot be created, before anything is read.\n";
}

}  // namespace vosklog
