#include "Workloads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "Contenders.h"
#include "Probes.h"

namespace bench {

namespace {

// The contender of the run in progress, shared by its threads: thread 0
// opens it before the timed loop and closes it after; the loop's start and
// end are barriers for all threads.
template <class C>
C*& Current() {
    static C* current = nullptr;
    return current;
}

// A contender that cannot be opened skips the run; every thread still goes
// through the timed loop (which then ends at once), since its start and end
// are barriers that all threads must reach.
template <class C>
void OpenShared(benchmark::State& state, const Setup& setup) {
    if (state.thread_index() == 0) {
        Current<C>() = new C();
        std::string error;
        if (!Current<C>()->Open(setup, &error)) {
            delete Current<C>();
            Current<C>() = nullptr;
            state.SkipWithError(error.c_str());
        }
    }
}

// The opened contender, read inside the loop (after its start barrier).
template <class C>
C* Opened(benchmark::State& state) {
    C* contender = Current<C>();
    if (contender == nullptr) {
        state.SkipWithError("not opened");
    }
    return contender;
}

template <class C>
void CloseShared(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0 && Current<C>() != nullptr) {
        Current<C>()->Close();
        delete Current<C>();
        Current<C>() = nullptr;
    }
}

// Records into one log from every thread, or into one log per thread.
template <class C>
void Records(benchmark::State& state, int logs, Mode mode, Message message) {
    Setup setup;
    setup.logs = logs;
    setup.mode = mode;
    setup.message = message;
    OpenShared<C>(state, setup);
    const int log = logs == 1 ? 0 : state.thread_index();
    int number = 0;
    C* contender = nullptr;
    for (auto _ : state) {
        if (contender == nullptr && (contender = Opened<C>(state)) == nullptr) {
            continue;  // the loop ends at its next test
        }
        contender->Record(log, number);
        number = number == 9999 ? 0 : number + 1;
    }
    CloseShared<C>(state);
}

template <class C>
void Dropped(benchmark::State& state) {
    Setup setup;
    setup.mode = Mode::kDropped;
    OpenShared<C>(state, setup);
    if (Current<C>() == nullptr) {
        return;  // one thread only: no barrier to keep
    }
    int number = 0;
    for (auto _ : state) {
        Current<C>()->Dropped(0, number);
        number = number == 9999 ? 0 : number + 1;
    }
    CloseShared<C>(state);
}

template <class C>
void Raw(benchmark::State& state) {
    Setup setup;
    setup.mode = Mode::kRaw;
    OpenShared<C>(state, setup);
    if (Current<C>() == nullptr) {
        return;  // one thread only: no barrier to keep
    }
    for (auto _ : state) {
        Current<C>()->Raw(0);
    }
    CloseShared<C>(state);
}

// Batches of the contender's records alternate with batches of the floor's
// writes, each pair timed in turn. The median of the pairs' ratios hardly
// moves when the machine's load changes during the run, as the separate
// workloads' times do.
template <class C>
void Paired(benchmark::State& state, Message message) {
    constexpr int kBatches = 101;
    constexpr int kBatchRecords = 1000;
    using Clock = std::chrono::steady_clock;
    C contender;
    Floor floor;
    Setup setup;
    setup.message = message;
    std::string error;
    if (!contender.Open(setup, &error) || !floor.Open(setup, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto timeBatch = [](auto& writer) {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < kBatchRecords; ++i) {
            writer.Record(0, i);
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    std::vector<double> ratios;
    for (auto _ : state) {
        ratios.clear();
        double total = 0;
        for (int batch = 0; batch < kBatches; ++batch) {
            // Either goes first in turn, so that neither always follows the other.
            double ours = batch % 2 == 0 ? timeBatch(contender) : 0;
            double floors = timeBatch(floor);
            if (batch % 2 != 0) {
                ours = timeBatch(contender);
            }
            ratios.push_back(ours / floors);
            total += ours;
        }
        std::nth_element(ratios.begin(), ratios.begin() + kBatches / 2, ratios.end());
        state.counters[kProbeCounter] = ratios[kBatches / 2];
        state.SetIterationTime(total);
    }
    contender.Close();
    floor.Close();
}

void RunProbe(benchmark::State& state, Probe probe, const char* contender) {
    for (auto _ : state) {
        double value = 0;
        std::string error;
        if (!SpawnProbe(probe, contender, &value, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        // The table reads the counter; the manual time keeps the console
        // output meaningful for the unload.
        state.counters[kProbeCounter] = value;
        state.SetIterationTime(probe == Probe::kUnload ? value / 1000.0 : 0.0);
    }
}

std::string NameOf(const char* workload, const char* contender) {
    return std::string(workload) + "/" + contender;
}

template <class C>
void RegisterRecordWorkloads() {
    struct Shape {
        const char* id;
        int threads;
        int logs;
        Mode mode;
        Message message;
    };
    const Shape shapes[] = {
        {"float_one_thread", 1, 1, Mode::kRecords, Message::kFloat},
        {"float_two_threads", 2, 1, Mode::kRecords, Message::kFloat},
        {"float_four_threads", 4, 1, Mode::kRecords, Message::kFloat},
        {"one_thread", 1, 1, Mode::kRecords, Message::kInteger},
        {"two_threads", 2, 1, Mode::kRecords, Message::kInteger},
        {"four_threads", 4, 1, Mode::kRecords, Message::kInteger},
        {"four_logs", 4, 4, Mode::kRecords, Message::kInteger},
        {"rotation", 1, 1, Mode::kRotation, Message::kInteger},
    };
    for (const Shape& shape : shapes) {
        const int logs = shape.logs;
        const Mode mode = shape.mode;
        const Message message = shape.message;
        benchmark::RegisterBenchmark(NameOf(shape.id, C::kName).c_str(),
                                     [logs, mode, message](benchmark::State& state) {
                                         Records<C>(state, logs, mode, message);
                                     })
            ->Threads(shape.threads)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark(NameOf("raw", C::kName).c_str(), &Raw<C>)->UseRealTime();
}

template <class C>
void RegisterPaired() {
    const std::pair<const char*, Message> rows[] = {{"float_paired", Message::kFloat},
                                                    {"paired", Message::kInteger}};
    for (const auto& row : rows) {
        const Message message = row.second;
        benchmark::RegisterBenchmark(
            NameOf(row.first, C::kName).c_str(),
            [message](benchmark::State& state) { Paired<C>(state, message); })
            ->Iterations(1)
            ->UseManualTime();
    }
}

template <class C>
void RegisterDropped() {
    // Pure computation: the thread's CPU time, which other work on the
    // machine does not stretch as it stretches the wall clock.
    benchmark::RegisterBenchmark(NameOf("dropped", C::kName).c_str(), &Dropped<C>);
}

// The library only: a log whose backup cannot be made goes on writing.
void BlockedBackup(benchmark::State& state) {
    Records<Vosk>(state, 1, Mode::kBlockedBackup, Message::kInteger);
}

void RegisterBlockedBackup() {
    benchmark::RegisterBenchmark(NameOf("blocked_backup", Vosk::kName).c_str(), &BlockedBackup)
        ->UseRealTime();
}

void RegisterProbes(const char* contender) {
    for (Probe probe : {Probe::kUnload, Probe::kMemory}) {
        benchmark::RegisterBenchmark(
            NameOf(ProbeName(probe), contender).c_str(),
            [probe, contender](benchmark::State& state) { RunProbe(state, probe, contender); })
            ->Iterations(1)
            ->UseManualTime();
    }
}

}  // namespace

const std::vector<Workload>& Workloads() {
    static const std::vector<Workload> workloads = {
        {"float_one_thread", "float record: 1 thread, 1 log", Unit::kNanoseconds},
        {"float_paired", "float record: 1 thread, batches alternating with the floor's",
         Unit::kRatio},
        {"float_two_threads", "float record: 2 threads, 1 log", Unit::kRecordsPerSecond},
        {"float_four_threads", "float record: 4 threads, 1 log", Unit::kRecordsPerSecond},
        {"one_thread", "1 thread, 1 log", Unit::kNanoseconds},
        {"paired", "1 thread, batches alternating with the floor's", Unit::kRatio},
        {"two_threads", "2 threads, 1 log", Unit::kRecordsPerSecond},
        {"four_threads", "4 threads, 1 log", Unit::kRecordsPerSecond},
        {"four_logs", "4 threads, 4 logs", Unit::kRecordsPerSecond},
        {"dropped", "record dropped by the level", Unit::kNanoseconds},
        {"raw", "raw text (SL_Write), buffered", Unit::kNanoseconds},
        {"rotation", "rotation at 1 MB", Unit::kRecordsPerSecond},
        {"blocked_backup", "1 thread, full file, backup blocked", Unit::kNanoseconds},
        {"unload", "unload with 10 logs", Unit::kMilliseconds},
        {"memory", "memory per idle log", Unit::kKilobytes},
    };
    return workloads;
}

const std::vector<const char*>& ContenderNames() {
    static const std::vector<const char*> names = {Vosk::kName, Floor::kName, Spdlog::kName,
                                                   Stdio::kName};
    return names;
}

void RegisterWorkloads(bool withLibrary) {
    if (withLibrary) {
        RegisterRecordWorkloads<Vosk>();
        RegisterPaired<Vosk>();
        RegisterDropped<Vosk>();
        RegisterBlockedBackup();
        RegisterProbes(Vosk::kName);
    }
    RegisterRecordWorkloads<Floor>();
    RegisterPaired<Floor>();
    RegisterDropped<Floor>();
    RegisterProbes(Floor::kName);
    RegisterRecordWorkloads<Spdlog>();
    RegisterPaired<Spdlog>();
    RegisterDropped<Spdlog>();
    RegisterProbes(Spdlog::kName);
    RegisterRecordWorkloads<Stdio>();
    RegisterPaired<Stdio>();
    RegisterProbes(Stdio::kName);
}

}  // namespace bench
