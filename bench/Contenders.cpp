#include "Contenders.h"

#include <fcntl.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdarg>
#include <ctime>

namespace bench {

namespace {

std::string PathOf(const std::string& name) {
    return WorkDirectory() + "/" + name;
}

// The old backup goes first, as spdlog does it: a rename over an existing
// file makes ext4 start writing the renamed file out at once. (The library
// renames over it, so that a failing move keeps both files.)
void MoveToBackup(const std::string& path) {
    const std::string backup = path + ".bak";
    unlink(backup.c_str());
    rename(path.c_str(), backup.c_str());
}

int OpenTruncating(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

// What a dropped record costs at the least across a library boundary: a
// call that cannot be inlined, with the same arguments, and one comparison.
struct FloorLevel {
    int threshold = kLevelThreshold;
};
__attribute__((noinline)) void FloorTrace(FloorLevel* log, int level, const char* format, ...) {
    if (level > log->threshold) {
        return;
    }
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
}
FloorLevel gFloorLevel;
void (*volatile gFloorTrace)(FloorLevel*, int, const char*, ...) = &FloorTrace;

}  // namespace

int StdioRecord(FILE* file, int number, Message message) {
    static const std::string stamp = "[%4d-%02d-%02d %02d:%02d:%02d.%03d] ";
    static const std::string format = stamp + kPrintfMessage + "\n";
    static const std::string floatFormat = stamp + kPrintfFloatMessage + "\n";
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t;
    localtime_r(&ts.tv_sec, &t);
    const int ms = static_cast<int>(ts.tv_nsec / 1000000);
    int n;
    if (message == Message::kFloat) {
        const FloatValues v = FloatValuesOf(number);
        n = fprintf(file, floatFormat.c_str(), t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                    t.tm_min, t.tm_sec, ms, v.worker, v.item, v.ms);
    } else {
        n = fprintf(file, format.c_str(), t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                    t.tm_min, t.tm_sec, ms, number);
    }
    fflush(file);
    return n;
}

std::string RawText() {
    char text[128];
    snprintf(text, sizeof(text), kPrintfMessage, 0);
    return text;
}

void RemoveLogFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        unlink(path.c_str());
        unlink((path + ".bak").c_str());
    }
}

// ------------------------------------------------------------------ floor

bool Floor::Open(const Setup& setup, std::string* error) {
    setup_ = setup;
    line_ = FormattedLine(0, setup.message);
    raw_ = std::string(kRawIndent, ' ') + RawText();
    for (int i = 0; i < setup.logs; ++i) {
        paths_.push_back(PathOf(NextFileName(kName)));
        fds_.push_back(OpenTruncating(paths_.back()));
        written_.push_back(0);
        if (fds_.back() < 0) {
            *error = "cannot create " + paths_.back();
            return false;
        }
    }
    return true;
}

void Floor::Reopen(int log) {
    close(fds_[log]);
    MoveToBackup(paths_[log]);
    fds_[log] = OpenTruncating(paths_[log]);
    written_[log] = 0;
}

void Floor::Record(int log, int /*number*/) {
    ssize_t n = write(fds_[log], line_.data(), line_.size());
    if (setup_.mode == Mode::kRotation && n > 0) {
        written_[log] += n;
        if (written_[log] >= kRotationLimit) {
            Reopen(log);
        }
    }
}

void Floor::Raw(int log) {
    if (write(fds_[log], raw_.data(), raw_.size()) < 0) {
        return;
    }
}

void Floor::Dropped(int /*log*/, int number) {
    gFloorTrace(&gFloorLevel, kLevelDropped, kPrintfMessage, number);
}

void Floor::Close() {
    for (int fd : fds_) {
        if (fd >= 0) {
            close(fd);
        }
    }
    RemoveLogFiles(paths_);
    fds_.clear();
    paths_.clear();
}

// ------------------------------------------------------------------- vosk

bool Vosk::Open(const Setup& setup, std::string* error) {
    VoskLibrary& library = VoskLibrary::Shared();
    if (!library.Loaded() && !library.Load(VoskLibrary::DefaultPath(), error)) {
        return false;
    }
    api_ = library.Api();
    message_ = setup.message;
    raw_ = RawText();
    const bool limited = setup.mode == Mode::kRotation || setup.mode == Mode::kBlockedBackup;
    const int limit = limited ? static_cast<int>(kRotationLimit) : INT_MAX;
    for (int i = 0; i < setup.logs; ++i) {
        std::string name = NextFileName(kName);
        paths_.push_back(PathOf(name));
        if (setup.mode == Mode::kBlockedBackup) {
            // A full file, and a directory with content where its backup
            // would go: every record finds the file full and the move failing.
            int fd = OpenTruncating(paths_.back());
            if (fd < 0 || ftruncate(fd, kRotationLimit) != 0) {
                *error = "cannot prepare the full file";
            }
            close(fd);
            const std::string backup = paths_.back() + ".bak";
            mkdir(backup.c_str(), 0755);
            close(OpenTruncating(backup + "/inside"));
            blocked_.push_back(backup);
        }
        logs_.push_back(
            api_.createLog(WorkDirectory().c_str(), name.c_str(), limit, kLevelThreshold));
        if (logs_.back() == nullptr) {
            *error = "SL_CreateLog failed";
            return false;
        }
        // The first record opens the file; raw text before it is dropped.
        Record(i, 0);
    }
    return true;
}

void Vosk::Close() {
    for (LogHandle log : logs_) {
        if (log != nullptr) {
            api_.destroyLog(log);
        }
    }
    // The library closes the files on its own thread; unlinking an open
    // file is fine here.
    RemoveLogFiles(paths_);
    for (const std::string& backup : blocked_) {
        unlink((backup + "/inside").c_str());
        rmdir(backup.c_str());
    }
    logs_.clear();
    paths_.clear();
    blocked_.clear();
}

// ----------------------------------------------------------------- spdlog

bool Spdlog::Open(const Setup& setup, std::string* error) {
    message_ = setup.message;
    raw_ = std::string(kRawIndent, ' ') + RawText();
    try {
        for (int i = 0; i < setup.logs; ++i) {
            std::string name = NextFileName(kName);
            paths_.push_back(PathOf(name));
            std::shared_ptr<spdlog::logger> logger;
            if (setup.mode == Mode::kRotation) {
                logger = spdlog::rotating_logger_mt(name, paths_.back(), kRotationLimit, 1);
            } else {
                logger = spdlog::basic_logger_mt(name, paths_.back(), true);
            }
            if (setup.mode == Mode::kRaw) {
                // Text as it is, no line end, left to the file's buffer.
                logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
                    "%v", spdlog::pattern_time_type::local, ""));
            } else {
                logger->set_pattern(kSpdlogPattern);
                logger->flush_on(spdlog::level::trace);
            }
            logger->set_level(spdlog::level::info);
            loggers_.push_back(std::move(logger));
        }
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
    return true;
}

void Spdlog::Record(int log, int number) {
    if (message_ == Message::kFloat) {
        const FloatValues v = FloatValuesOf(number);
        loggers_[log]->info(kFmtFloatMessage, v.worker, v.item, v.ms);
    } else {
        loggers_[log]->info(kFmtMessage, number);
    }
}

void Spdlog::Raw(int log) {
    loggers_[log]->info(raw_);
}

void Spdlog::Dropped(int log, int number) {
    loggers_[log]->debug(kFmtMessage, number);
}

void Spdlog::Close() {
    for (const auto& logger : loggers_) {
        logger->flush();
        spdlog::drop(logger->name());
    }
    loggers_.clear();
    RemoveLogFiles(paths_);
    // The rotating sink's backup is "<name>.1.log".
    for (const std::string& path : paths_) {
        unlink((path.substr(0, path.size() - 4) + ".1.log").c_str());
    }
    paths_.clear();
}

// ------------------------------------------------------------------ stdio

bool Stdio::Open(const Setup& setup, std::string* error) {
    setup_ = setup;
    raw_ = std::string(kRawIndent, ' ') + RawText();
    for (int i = 0; i < setup.logs; ++i) {
        paths_.push_back(PathOf(NextFileName(kName)));
        files_.push_back(fopen(paths_.back().c_str(), "we"));
        written_.push_back(0);
        if (files_.back() == nullptr) {
            *error = "cannot create " + paths_.back();
            return false;
        }
    }
    return true;
}

void Stdio::Record(int log, int number) {
    FILE* file = files_[log];
    if (file == nullptr) {
        return;  // a reopen failed
    }
    int n = StdioRecord(file, number, setup_.message);
    if (setup_.mode == Mode::kRotation && n > 0) {
        written_[log] += n;
        if (written_[log] >= kRotationLimit) {
            fclose(file);
            MoveToBackup(paths_[log]);
            files_[log] = fopen(paths_[log].c_str(), "we");
            written_[log] = 0;
        }
    }
}

void Stdio::Raw(int log) {
    fputs(raw_.c_str(), files_[log]);
}

void Stdio::Close() {
    for (FILE* file : files_) {
        if (file != nullptr) {
            fclose(file);
        }
    }
    files_.clear();
    RemoveLogFiles(paths_);
    paths_.clear();
}

}  // namespace bench
