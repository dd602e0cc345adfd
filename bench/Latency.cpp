#include "Latency.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "Common.h"
#include "Library.h"

namespace bench {

namespace {

constexpr int kCalls = 200000;
constexpr char kName[] = "app.log";
const char* const kContenders[] = {"vosk", "spdlog", "floor"};

struct Setting {
    int threads;
    bool archive;
    const char* label;
};
const Setting kSettings[] = {
    {1, false, "1 thread"},
    {4, false, "4 threads"},
    {1, true, "1 thread, archive on"},
};

std::string PathOf(const char* name) {
    return WorkDirectory() + "/" + name;
}

// ------------------------------------------------------------ contenders

class Contender {
  public:
    virtual ~Contender() = default;
    virtual bool Open(bool archive, std::string* error) = 0;
    virtual void Record(int number) = 0;
    // The name a file gets when it moves out of the way of a new one.
    virtual const char* BackupName() const = 0;
    virtual void Close() = 0;
};

class VoskContender : public Contender {
  public:
    bool Open(bool archive, std::string* error) override {
        module_ = dlopen(VoskLibrary::DefaultPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module_ == nullptr) {
            *error = dlerror();
            return false;
        }
        create_ = reinterpret_cast<decltype(create_)>(dlsym(module_, "SL_CreateLog"));
        trace_ = reinterpret_cast<decltype(trace_)>(dlsym(module_, "SL_TraceLog"));
        destroy_ = reinterpret_cast<decltype(destroy_)>(dlsym(module_, "SL_DestroyLog"));
        auto setArchive =
            reinterpret_cast<decltype(&SL_SetLogArchive)>(dlsym(module_, "SL_SetLogArchive"));
        if (create_ == nullptr || trace_ == nullptr || destroy_ == nullptr ||
            setArchive == nullptr) {
            *error = "a function is missing";
            return false;
        }
        log_ = create_(WorkDirectory().c_str(), kName, static_cast<int>(kRotationLimit),
                       kLevelThreshold);
        if (log_ == nullptr) {
            *error = "SL_CreateLog failed";
            return false;
        }
        if (archive) {
            setArchive(log_, 7);
        }
        return true;
    }
    void Record(int number) override {
        const FloatValues v = FloatValuesOf(number);
        trace_(log_, kLevelWritten, kPrintfFloatMessage, v.worker, v.item, v.ms);
    }
    const char* BackupName() const override { return "app.log.bak"; }
    void Close() override { destroy_(log_); }

  private:
    void* module_ = nullptr;
    decltype(&SL_CreateLog) create_ = nullptr;
    decltype(&SL_TraceLog) trace_ = nullptr;
    decltype(&SL_DestroyLog) destroy_ = nullptr;
    LogHandle log_ = nullptr;
};

// One backup, as the library keeps one without its archive; spdlog has no
// archive, so it runs the same in both settings.
class SpdlogContender : public Contender {
  public:
    bool Open(bool, std::string* error) override {
        try {
            logger_ = spdlog::rotating_logger_mt("latency", PathOf(kName), kRotationLimit, 1);
            logger_->set_pattern(kSpdlogPattern);
            logger_->flush_on(spdlog::level::trace);
            logger_->set_level(spdlog::level::info);
        } catch (const std::exception& e) {
            *error = e.what();
            return false;
        }
        return true;
    }
    void Record(int number) override {
        const FloatValues v = FloatValuesOf(number);
        logger_->info(kFmtFloatMessage, v.worker, v.item, v.ms);
    }
    const char* BackupName() const override { return "app.1.log"; }
    void Close() override { logger_.reset(); }

  private:
    std::shared_ptr<spdlog::logger> logger_;
};

// The least a write-through logger can do: the line made with snprintf
// outside the lock, then write, and at the limit a rename over the backup
// and a new file, under a mutex.
class FloorContender : public Contender {
  public:
    bool Open(bool, std::string* error) override {
        path_ = PathOf(kName);
        backup_ = path_ + ".bak";
        fd_ = OpenFile();
        if (fd_ < 0) {
            *error = "cannot create " + path_;
            return false;
        }
        return true;
    }
    void Record(int number) override {
        char line[256];
        int n = FormatStampNow(line);
        const FloatValues v = FloatValuesOf(number);
        n += snprintf(line + n, sizeof(line) - n - 1, kPrintfFloatMessage, v.worker, v.item, v.ms);
        line[n++] = '\n';
        std::lock_guard<std::mutex> guard(mutex_);
        if (written_ >= kRotationLimit) {
            close(fd_);
            rename(path_.c_str(), backup_.c_str());
            fd_ = OpenFile();
            written_ = 0;
        }
        const ssize_t wrote = write(fd_, line, static_cast<size_t>(n));
        if (wrote > 0) {
            written_ += wrote;
        }
    }
    const char* BackupName() const override { return "app.log.bak"; }
    void Close() override { close(fd_); }

  private:
    int OpenFile() const {
        return open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    std::mutex mutex_;
    std::string path_;
    std::string backup_;
    int fd_ = -1;
    long written_ = 0;
};

std::unique_ptr<Contender> MakeContender(const std::string& name) {
    if (name == "vosk") {
        return std::make_unique<VoskContender>();
    }
    if (name == "spdlog") {
        return std::make_unique<SpdlogContender>();
    }
    if (name == "floor") {
        return std::make_unique<FloorContender>();
    }
    return nullptr;
}

// ------------------------------------------------------ rotation watching

// Moves to the backup's name in the work directory, seen through inotify:
// the event is queued during the rename itself, so a thread that finds one
// new right after its call knows that its call moved the file (the others
// wait for the contender's lock meanwhile).
class RotationWatch {
  public:
    bool Open(const char* backupName) {
        backup_ = backupName;
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        return fd_ >= 0 && inotify_add_watch(fd_, WorkDirectory().c_str(), IN_MOVED_TO) >= 0;
    }
    ~RotationWatch() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    // True when a move to the backup's name was queued since the last look.
    bool Moved() {
        int pending = 0;
        if (ioctl(fd_, FIONREAD, &pending) != 0 || pending == 0) {
            return false;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        alignas(inotify_event) char buffer[4096];
        bool moved = false;
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof(buffer))) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && backup_ == event->name) {
                    moved = true;
                    ++rotations_;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return moved;
    }
    int Rotations() const { return rotations_; }

  private:
    int fd_ = -1;
    std::string backup_;
    std::mutex mutex_;
    int rotations_ = 0;
};

int64_t Nanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <class T>
T At(const std::vector<T>& sorted, double share) {
    if (sorted.empty()) {
        return T();
    }
    size_t index = static_cast<size_t>(share * static_cast<double>(sorted.size()));
    return sorted[std::min(index, sorted.size() - 1)];
}

// --------------------------------------------------------------- parent

struct Result {
    double p50, p99, p999, p9999, max, rotating;
    int rotations;
};

bool SpawnRun(const std::string& run, Result* result, std::string* error) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) {
        *error = "no /proc/self/exe";
        return false;
    }
    self[n] = '\0';
    // The parent's work directory holds each child's own fresh directory.
    const std::string command =
        std::string(self) + " --dir=" + WorkDirectory() + " --latency-child=" + run + " 2>&1";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        *error = "cannot start " + command;
        return false;
    }
    char line[512];
    bool found = false;
    while (fgets(line, sizeof(line), child) != nullptr) {
        if (sscanf(line, "result %lf %lf %lf %lf %lf %lf %d", &result->p50, &result->p99,
                   &result->p999, &result->p9999, &result->max, &result->rotating,
                   &result->rotations) == 7) {
            found = true;
        } else {
            *error += line;
        }
    }
    pclose(child);
    return found;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty()) {
        return 0;
    }
    const size_t mid = values.size() / 2;
    return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string Micros(double ns) {
    char text[32];
    if (ns < 10000) {
        snprintf(text, sizeof(text), "%.2f us", ns / 1000);
    } else if (ns < 1000000) {
        snprintf(text, sizeof(text), "%.1f us", ns / 1000);
    } else {
        snprintf(text, sizeof(text), "%.2f ms", ns / 1e6);
    }
    return text;
}

}  // namespace

int RunLatencyChild(const std::string& run) {
    char contenderName[32] = {};
    int threads = 0;
    int archive = 0;
    if (sscanf(run.c_str(), "%31[a-z]:%d:%d", contenderName, &threads, &archive) != 3 ||
        threads < 1 || threads > 64) {
        printf("error bad run %s\n", run.c_str());
        return 1;
    }
    std::unique_ptr<Contender> contender = MakeContender(contenderName);
    std::string error;
    if (contender == nullptr || !contender->Open(archive != 0, &error)) {
        printf("error %s %s\n", contenderName, error.c_str());
        return 1;
    }
    RotationWatch watch;
    if (!watch.Open(contender->BackupName())) {
        printf("error no inotify\n");
        return 1;
    }
    // Untimed: the first record opens the library's file.
    contender->Record(0);
    const int perThread = kCalls / threads;
    std::vector<std::vector<uint32_t>> latencies(threads);
    std::vector<std::vector<uint32_t>> rotating(threads);
    std::atomic<int> ready{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        latencies[t].reserve(perThread);
        workers.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < threads) {
            }
            for (int i = 0; i < perThread; ++i) {
                const int number = t * perThread + i + 1;
                const int64_t start = Nanoseconds();
                contender->Record(number);
                const int64_t took = Nanoseconds() - start;
                const uint32_t ns = static_cast<uint32_t>(std::min<int64_t>(took, UINT32_MAX));
                latencies[t].push_back(ns);
                if (watch.Moved()) {
                    rotating[t].push_back(ns);
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    contender->Close();
    std::vector<uint32_t> all;
    std::vector<uint32_t> rotations;
    for (int t = 0; t < threads; ++t) {
        all.insert(all.end(), latencies[t].begin(), latencies[t].end());
        rotations.insert(rotations.end(), rotating[t].begin(), rotating[t].end());
    }
    std::sort(all.begin(), all.end());
    std::sort(rotations.begin(), rotations.end());
    printf("result %u %u %u %u %u %u %d\n", At(all, 0.5), At(all, 0.99), At(all, 0.999),
           At(all, 0.9999), all.empty() ? 0u : all.back(), At(rotations, 0.5), watch.Rotations());
    fflush(stdout);
    return 0;
}

int RunLatency(int reps) {
    // results[setting][contender] holds one result per repetition.
    std::map<int, std::map<std::string, std::vector<Result>>> results;
    std::vector<std::string> notes;
    std::mt19937 shuffle(20261211);
    for (int rep = 0; rep < reps; ++rep) {
        for (int s = 0; s < static_cast<int>(sizeof(kSettings) / sizeof(kSettings[0])); ++s) {
            const Setting& setting = kSettings[s];
            std::vector<std::string> order(std::begin(kContenders), std::end(kContenders));
            std::shuffle(order.begin(), order.end(), shuffle);
            std::map<std::string, int> rotations;
            for (const std::string& contender : order) {
                fprintf(stderr, "rep %d/%d, %s, %s\n", rep + 1, reps, setting.label,
                        contender.c_str());
                const std::string run = contender + ":" + std::to_string(setting.threads) + ":" +
                                        (setting.archive ? "1" : "0");
                Result result;
                std::string error;
                if (!SpawnRun(run, &result, &error)) {
                    fprintf(stderr, "%s failed: %s\n", run.c_str(), error.c_str());
                    return 1;
                }
                results[s][contender].push_back(result);
                rotations[contender] = result.rotations;
            }
            for (const auto& [contender, count] : rotations) {
                if (count != rotations.begin()->second) {
                    notes.push_back(std::string("rotation counts differ in ") + setting.label +
                                    ", rep " + std::to_string(rep + 1));
                    break;
                }
            }
        }
    }
    printf(
        "%d timed calls of \"%s\" a run, 1 MiB files; medians of %d runs, each a fresh "
        "process and directory.\n\n",
        kCalls, kPrintfFloatMessage, reps);
    printf(
        "| setting | contender | p50 | p99 | p99.9 | p99.99 | max | rotating call | "
        "rotations |\n");
    printf("|---|---|---|---|---|---|---|---|---|\n");
    for (int s = 0; s < static_cast<int>(sizeof(kSettings) / sizeof(kSettings[0])); ++s) {
        for (const char* contender : kContenders) {
            const std::vector<Result>& runs = results[s][contender];
            auto median = [&runs](double Result::*field) {
                std::vector<double> values;
                for (const Result& r : runs) {
                    values.push_back(r.*field);
                }
                return Median(values);
            };
            std::vector<double> counts;
            for (const Result& r : runs) {
                counts.push_back(r.rotations);
            }
            printf("| %s | %s | %s | %s | %s | %s | %s | %s | %.0f |\n", kSettings[s].label,
                   contender, Micros(median(&Result::p50)).c_str(),
                   Micros(median(&Result::p99)).c_str(), Micros(median(&Result::p999)).c_str(),
                   Micros(median(&Result::p9999)).c_str(), Micros(median(&Result::max)).c_str(),
                   Micros(median(&Result::rotating)).c_str(), Median(counts));
        }
    }
    printf("\n");
    if (notes.empty()) {
        printf("Rotation counts equal for every contender in every run.\n");
    }
    for (const std::string& note : notes) {
        printf("warning: %s\n", note.c_str());
    }
    return notes.empty() ? 0 : 1;
}

}  // namespace bench
