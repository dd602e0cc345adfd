#include "ReaderOptions.h"

#include <cerrno>
#include <cstdlib>

namespace vosklogread {

ParseResult ParseReaderOptions(int argc, const char* const* argv, ReaderOptions* options,
                               std::string* error) {
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            return ParseResult::kHelp;
        }
        if (arg == "--version") {
            return ParseResult::kVersion;
        }
        if (arg == "--follow" || arg == "-f") {
            options->follow = true;
            continue;
        }
        const bool takesValue =
            arg == "-d" || arg == "-n" || arg == "--since" || arg == "--until" || arg == "--window";
        if (!takesValue) {
            *error = "unknown option '" + arg + "'";
            return ParseResult::kError;
        }
        if (i + 1 >= argc) {
            *error = "option '" + arg + "' needs a value";
            return ParseResult::kError;
        }
        const std::string value = argv[++i];
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
        } else if (arg == "--since") {
            options->since = value;
        } else if (arg == "--until") {
            options->until = value;
        } else {
            errno = 0;
            char* end = nullptr;
            const long long ms = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || errno != 0 || *end != '\0' || ms < 0 || ms > 3600000) {
                *error = "bad window '" + value + "' (milliseconds, 0 to 3600000)";
                return ParseResult::kError;
            }
            options->windowMs = ms;
        }
    }
    if (!named) {
        *error = "-n NAME is required";
        return ParseResult::kError;
    }
    return ParseResult::kRun;
}

const char* ReaderUsage() {
    return "usage: vosklog-read -n NAME [-d DIR] [--since STAMP] [--until STAMP]\n"
           "                    [--window MS] [--follow]\n"
           "       vosklog-read --help | --version\n"
           "\n"
           "Prints the records of the log DIR/NAME in time order: its day archive\n"
           "(DIR/logfiles-YYYY/MM/YYYY-MM-DD/NAME.*, plain and .gz), NAME.bak and\n"
           "NAME, each record as written, with the lines that continue it.\n"
           "\n"
           "  -d DIR         directory of the log, as given to vosklog (default: the\n"
           "                 current directory)\n"
           "  -n NAME        file name of the log (required)\n"
           "  --since STAMP  only records stamped at or after STAMP\n"
           "  --until STAMP  only records stamped before STAMP\n"
           "  --window MS    records up to MS milliseconds older than one before\n"
           "                 them are put in their place (default 1000; 0: as read)\n"
           "  -f, --follow   then keep printing new records as they are written,\n"
           "                 through rotations, archive moves and compression, until\n"
           "                 interrupted (or past --until)\n"
           "  --help         this text\n"
           "  --version      the version of vosklog-read and exit\n"
           "\n"
           "STAMP: YYYY-MM-DD[ hh:mm[:ss[.mmm]]] with an optional zone: Z, +hh:mm or\n"
           "-hh:mm; 'T' may stand between date and time, brackets may surround it.\n"
           "Without a zone it is local time here (the TZ variable); an hour that\n"
           "happened twice (the clock set back) is said so on standard error.\n"
           "\n"
           "Exit status: 0 when every file was read, 1 when one could not be read to\n"
           "its end, 2 for a bad option.\n";
}

std::string ReaderVersionLine() {
    return std::string("vosklog-read ") + VOSKLOG_VERSION + "\n";
}

}  // namespace vosklogread
