#include "Options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "VOSK_Log.h"

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

namespace {

// How one option acts on the options: false with a message in *error when
// its value is refused. A flag's value is empty.
using Apply = bool (*)(const std::string& value, Options* options, std::string* error);

struct OptionRule {
    const char* name;
    bool takesValue;
    ParseResult ends;  // kRun: parsing goes on after it
    Apply apply;       // null for an option that only ends parsing
};

// Every option once: adding one is one entry.
const OptionRule kOptionRules[] = {
    {"--help", false, ParseResult::kHelp, nullptr},
    {"-h", false, ParseResult::kHelp, nullptr},
    {"--version", false, ParseResult::kVersion, nullptr},
    {"--drop-when-full", false, ParseResult::kRun,
     [](const std::string&, Options* o, std::string*) {
         o->dropWhenFull = true;
         return true;
     }},
    {"--raw", false, ParseResult::kRun,
     [](const std::string&, Options* o, std::string*) {
         o->raw = true;
         return true;
     }},
    {"--tee", false, ParseResult::kRun,
     [](const std::string&, Options* o, std::string*) {
         o->tee = true;
         return true;
     }},
    {"--compress", false, ParseResult::kRun,
     [](const std::string&, Options* o, std::string*) {
         o->compress = true;
         return true;
     }},
    {"--dry-run", false, ParseResult::kRun,
     [](const std::string&, Options* o, std::string*) {
         o->dryRun = true;
         return true;
     }},
    {"-d", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         if (value.find_first_not_of(" \t") == std::string::npos) {
             *error = "-d needs a directory";
             return false;
         }
         o->directory = value;
         return true;
     }},
    {"-n", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         if (value.empty()) {
             *error = "-n needs a file name";
             return false;
         }
         o->name = value;
         return true;
     }},
    {"-s", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         if (!ParseSize(value, &o->sizeLimit)) {
             *error = "bad size '" + value + "' (a number with K, M or G, below 2G)";
             return false;
         }
         o->sizeLimitSet = true;
         return true;
     }},
    {"-l", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         long long number = 0;
         if (!ParseInteger(value, INT32_MIN, INT32_MAX, &number)) {
             *error = "bad level '" + value + "' (a 32-bit integer)";
             return false;
         }
         o->level = static_cast<int32_t>(number);
         return true;
     }},
    {"--disk-limit", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         long long number = 0;
         if (!ParseInteger(value, 0, UINT32_MAX, &number)) {
             *error = "bad disk limit '" + value + "' (per mille, 200 to 950)";
             return false;
         }
         o->diskLimit = static_cast<uint32_t>(number);
         o->diskLimitSet = true;
         return true;
     }},
    {"--keep-days", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         long long number = 0;
         if (!ParseInteger(value, 0, INT32_MAX, &number)) {
             *error = "bad number of days '" + value + "' (0 or more)";
             return false;
         }
         o->keepDays = static_cast<int32_t>(number);
         return true;
     }},
    {"--max-line", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         if (!ParseSize(value, &o->maxLine) ||
             (o->maxLine != 0 && o->maxLine < Options::kLeastMaxLine)) {
             *error = "bad line length '" + value + "' (0, or " +
                      std::to_string(Options::kLeastMaxLine) + " to below 2G, with K, M or G)";
             return false;
         }
         return true;
     }},
    {"--on-rotate", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         if (value.find_first_not_of(" \t") == std::string::npos) {
             *error = "--on-rotate needs a command";
             return false;
         }
         o->onRotate = value;
         return true;
     }},
    {"--stamp", true, ParseResult::kRun,
     [](const std::string& value, Options* o, std::string* error) {
         const struct {
             const char* name;
             int32_t form;
         } forms[] = {
             {"local", SL_STAMP_LOCAL}, {"offset", SL_STAMP_LOCAL_OFFSET}, {"utc", SL_STAMP_UTC}};
         for (const auto& form : forms) {
             if (value == form.name) {
                 o->stamp = form.form;
                 return true;
             }
         }
         *error = "bad stamp form '" + value + "' (local, offset or utc)";
         return false;
     }},
};

const OptionRule* FindRule(const std::string& name) {
    for (const OptionRule& rule : kOptionRules) {
        if (name == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

}  // namespace

ParseResult ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const OptionRule* rule = FindRule(arg);
        if (rule == nullptr) {
            *error = "unknown option '" + arg + "'";
            return ParseResult::kError;
        }
        if (rule->ends != ParseResult::kRun) {
            return rule->ends;
        }
        std::string value;
        if (rule->takesValue) {
            if (i + 1 >= argc) {
                *error = "option '" + arg + "' needs a value";
                return ParseResult::kError;
            }
            value = argv[++i];
        }
        if (!rule->apply(value, options, error)) {
            return ParseResult::kError;
        }
    }
    // -n refuses an empty name, so an empty one was never given.
    if (options->name.empty()) {
        *error = "-n NAME is required";
        return ParseResult::kError;
    }
    return ParseResult::kRun;
}

const char* Usage() {
    return "usage: vosklog -n NAME [-d DIR] [-s SIZE] [-l LEVEL] [--raw] [--tee]\n"
           "               [--disk-limit PERMILLE] [--keep-days N] [--compress]\n"
           "               [--drop-when-full] [--max-line BYTES] [--on-rotate CMD]\n"
           "               [--stamp local|offset|utc] [--dry-run]\n"
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
           "               NAME.YYYYMMDD-HHMMSS-mmmZ (UTC) instead of replacing it,\n"
           "               and delete day directories more than N days old\n"
           "               (default 0: off)\n"
           "  --compress   with --keep-days: compress each archived file to gzip\n"
           "               (NAME.YYYYMMDD-HHMMSS-mmmZ.gz), in the background\n"
           "  --drop-when-full\n"
           "               when a line cannot be written, drop it and go on reading\n"
           "               instead of waiting; the lines dropped are counted\n"
           "  --max-line BYTES\n"
           "               write a line longer than BYTES (with K, M or G; default\n"
           "               8192; 0: no limit) as several records, each after the\n"
           "               first marked as a continuation (see below)\n"
           "  --on-rotate CMD\n"
           "               after each move of the file out of the way, run the shell\n"
           "               command CMD with the path where the file stays: NAME.bak;\n"
           "               with --keep-days the archived file (with --compress its\n"
           "               .gz) once it is there\n"
           "  --stamp local|offset|utc\n"
           "               the stamp: local time (the default), local time with its\n"
           "               offset from UTC ([... 05:41:07.123 +01:00]), or UTC\n"
           "               ([... 04:41:07.123Z])\n"
           "  --dry-run    print the file, backup, size limit, level and disk limit\n"
           "               that would be used, and exit\n"
           "  --help       this text\n"
           "  --version    the version of vosklog and exit\n"
           "\n"
           "A line that starts with <N> is written at level N, without the prefix;\n"
           "other lines at level 0. Lines are written as they stand: no format, any\n"
           "bytes. A line ends at LF or CR LF; a last line without one is written too.\n"
           "\n"
           "A line longer than --max-line bytes (its <N> prefix counted) is written\n"
           "as records of that many bytes, the last one shorter, each as soon as it is\n"
           "read: memory stays bounded whatever the line. Every record after the first\n"
           "has '+' in place of the blank after its stamp (with --raw, in place of the\n"
           "indent's last blank); its text joined to the record before gives the line\n"
           "back. All pieces are written at the level of the line's prefix.\n"
           "\n"
           "A line that cannot be written (a full disk, a file that cannot be opened)\n"
           "is kept and tried again, up to once a second; meanwhile no more input is\n"
           "read, so the writer of the pipe waits. Standard error says when this\n"
           "starts and how long it lasted.\n"
           "\n"
           "Each directory that --keep-days or --disk-limit prunes is named on\n"
           "standard error with what went and why, one line each, such as\n"
           "  vosklog: pruned DIR/logfiles-2026/12/2026-12-01: 3 files, 1048576 bytes,\n"
           "  folder removed: older than 7 days\n"
           "(for the disk limit: disk at 912 per mille, over its limit of 900; a\n"
           "folder with files left for a later pass: folder stays).\n"
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
           "closed and vosklog exits with 0; 1 when it was stopped while lines could\n"
           "not be written (how many is said); 2 for a bad option or a directory that\n"
           "cannot be created, before anything is read; 3 when standard input could\n"
           "not be read.\n";
}

std::string VersionLine() {
    return std::string("vosklog ") + VOSKLOG_VERSION + "\n";
}

}  // namespace vosklog
