#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Thread.h"
#include "support/Stopwatch.h"
#include "support/WorkerThreadTestPeer.h"
#include "threading/BlockingQueue.h"
#include "threading/DebugHook.h"
#include "threading/WorkerThread.h"

namespace vosk {
namespace {

using test::Eventually;
using test::kEarlyMs;
using test::kPromptMs;
using test::Stopwatch;
using Peer = test::WorkerThreadTestPeer;

struct Message {
    int32_t level;
    std::string text;
};

// Collects what the worker reports through DebugHook.
class Messages {
  public:
    void Add(int32_t level, std::string text) {
        std::lock_guard<std::mutex> hold(mutex_);
        list_.push_back({level, std::move(text)});
        changed_.notify_all();
    }
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::seconds(5),
                                 [&] { return list_.size() >= count; });
    }
    std::vector<Message> List() {
        std::lock_guard<std::mutex> hold(mutex_);
        return list_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> list_;
};

Messages* captured = nullptr;

void Capture(int32_t level, const char* format, ...) {
    char text[512];
    va_list values;
    va_start(values, format);
    vsnprintf(text, sizeof(text), format, values);
    va_end(values);
    captured->Add(level, text);
}

// The messages, letter for letter, with the identifiers they carry.
std::string Expected(int number, uint32_t threadId, const std::string& name) {
    char text[512];
    const int pid = static_cast<int>(platform::CurrentProcessId());
    const char* n = name.c_str();
    switch (number) {
        case 1:
            snprintf(text, sizeof(text), "__debug__ create THREAD[%x:%d](%s)\n", threadId, pid, n);
            break;
        case 2:
            snprintf(text, sizeof(text), "__debug__ THREAD[0x%x:%d](%s) destroy without running\n",
                     threadId, pid, n);
            break;
        case 3:
            snprintf(text, sizeof(text), "__debug__ THREAD[0x%x:%d](%s) runing\n", threadId, pid,
                     n);
            break;
        case 4:
            snprintf(text, sizeof(text), "__debug__ THREAD[0x%x:%d](%s) exit.\n", threadId, pid, n);
            break;
        default:
            snprintf(text, sizeof(text), "__debug__ thread[%x](%s) not exit normally...,Kill it.\n",
                     threadId, n);
            break;
    }
    return text;
}

// What a routine sees: its worker (stored once constructed) and what the
// test wants it to do.
struct Context {
    std::atomic<WorkerThread*> worker{nullptr};
    std::atomic<bool> ran{false};
    std::atomic<bool> go{false};
    std::atomic<uint32_t> threadId{0};
    BlockingQueue<int>* queue = nullptr;
    int32_t stopResult = -5;
    uint8_t runningAfterStop = 9;
    int32_t stateAfterStop = 9;

    WorkerThread* Worker() {
        while (worker.load() == nullptr) {
            std::this_thread::yield();
        }
        return worker.load();
    }
};

int32_t ReturnSeven(void* raw) {
    Context* c = static_cast<Context*>(raw);
    c->threadId = platform::CurrentThreadId();
    c->ran = true;
    return 7;
}

int32_t LoopWhileRunning(void* raw) {
    Context* c = static_cast<Context*>(raw);
    c->ran = true;
    WorkerThread* worker = c->Worker();
    while (worker->IsRunning() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

// Sleeps through the platform, where a POSIX thread is cancelled cleanly.
int32_t NeverLooks(void*) {
    for (;;) {
        platform::SleepMs(5);
    }
}

int32_t StopsItself(void* raw) {
    Context* c = static_cast<Context*>(raw);
    WorkerThread* worker = c->Worker();
    c->stopResult = worker->Stop();
    c->runningAfterStop = worker->IsRunning();
    c->stateAfterStop = Peer::State(*worker);
    return 0;
}

int32_t Throws(void*) {
    throw std::runtime_error("routine failed");
}

int32_t WaitsForGo(void* raw) {
    Context* c = static_cast<Context*>(raw);
    while (!c->go) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

// The maintenance loop's shape: take with a long wait while running.
int32_t TakesWhileRunning(void* raw) {
    Context* c = static_cast<Context*>(raw);
    WorkerThread* worker = c->Worker();
    while (worker->IsRunning() != 0) {
        c->queue->Take(0, 5000);
    }
    return 0;
}

uint32_t ThreadIdOfFirstMessage(const std::vector<Message>& list) {
    unsigned id = 0;
    if (list.empty() || sscanf(list[0].text.c_str(), "__debug__ create THREAD[%x:", &id) != 1) {
        return 0;
    }
    return id;
}

class WorkerThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        captured = &messages;
        DebugHook = Capture;
    }
    void TearDown() override {
        DebugHook = IgnoreDebugMessage;
        captured = nullptr;
    }

    // Checks that the worker reported exactly these messages, in order, at
    // level 3, with its thread's identifiers and this name.
    void ExpectLife(std::vector<int> numbers, const std::string& name) {
        std::vector<Message> list = messages.List();
        ASSERT_EQ(list.size(), numbers.size());
        uint32_t id = ThreadIdOfFirstMessage(list);
        EXPECT_NE(id, 0u);
        for (size_t i = 0; i < numbers.size(); ++i) {
            EXPECT_EQ(list[i].level, 3);
            EXPECT_EQ(list[i].text, Expected(numbers[i], id, name));
        }
    }

    Messages messages;
    Context context;
};

TEST_F(WorkerThreadTest, HeldAndDestroyedWithoutStartNeverRuns) {
    for (bool reachedGate : {true, false}) {
        Messages fresh;
        captured = &fresh;
        Context c;
        auto worker =
            std::make_unique<WorkerThread>(ReturnSeven, &c, WorkerThread::StartAs::kHeld, "held");
        EXPECT_EQ(Peer::State(*worker), WorkerThread::kHeld);
        if (reachedGate) {
            ASSERT_TRUE(fresh.WaitFor(1));
        }
        Stopwatch watch;
        worker.reset();
        EXPECT_LT(watch.Ms(), kPromptMs) << "no wait for the time-out";
        EXPECT_FALSE(c.ran);
        std::vector<Message> list = fresh.List();
        if (!reachedGate && list.empty()) {
            continue;  // stopped before its thread began (Windows): it never will
        }
        ASSERT_EQ(list.size(), 2u);
        uint32_t id = ThreadIdOfFirstMessage(list);
        EXPECT_EQ(list[0].text, Expected(1, id, "held"));
        EXPECT_EQ(list[1].text, Expected(2, id, "held"));
        EXPECT_EQ(list[1].level, 3);
    }
}

TEST_F(WorkerThreadTest, ReleasedWorkerRunsWithoutStart) {
    auto worker = std::make_unique<WorkerThread>(ReturnSeven, &context,
                                                 WorkerThread::StartAs::kReleased, "released");
    ASSERT_TRUE(messages.WaitFor(3));
    EXPECT_EQ(worker->Start(), 0);  // does nothing
    EXPECT_EQ(Peer::State(*worker), WorkerThread::kReleased);
    ASSERT_EQ(worker->WaitForExit(5000), 0);
    Stopwatch watch;
    EXPECT_EQ(worker->Stop(), 0);
    EXPECT_LT(watch.Ms(), kPromptMs) << "the exit signal was set already";
    EXPECT_EQ(Peer::State(*worker), WorkerThread::kEnded);
    EXPECT_EQ(Peer::Result(*worker), 7);
    EXPECT_EQ(Peer::ThreadId(*worker), context.threadId);
    worker.reset();
    ExpectLife({1, 3, 4}, "released");
}

TEST_F(WorkerThreadTest, HeldWorkerRunsAfterStart) {
    WorkerThread worker(ReturnSeven, &context, WorkerThread::StartAs::kHeld, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(context.ran) << "held at the gate";
    EXPECT_EQ(worker.Start(), 0);
    EXPECT_EQ(Peer::State(worker), WorkerThread::kReleased);
    EXPECT_EQ(worker.WaitForExit(5000), 0);
    EXPECT_TRUE(context.ran);
    worker.Stop();
    EXPECT_EQ(worker.Start(), 0);  // ended: nothing
    EXPECT_EQ(Peer::State(worker), WorkerThread::kEnded);
    EXPECT_STREQ(Peer::Name(worker), "anonymous");
    ExpectLife({1, 3, 4}, "anonymous");
}

TEST_F(WorkerThreadTest, NamesAreKeptTo63Characters) {
    const std::string k63(63, 'n');
    struct Case {
        const char* given;
        std::string kept;
    };
    const std::string k64 = k63 + "x";
    const std::string k90 = k63 + std::string(27, 'y');
    for (const Case& c : {Case{nullptr, "anonymous"}, Case{"", ""}, Case{k63.c_str(), k63},
                          Case{k64.c_str(), k63}, Case{k90.c_str(), k63}}) {
        Messages fresh;
        captured = &fresh;
        {
            WorkerThread worker(nullptr, nullptr, WorkerThread::StartAs::kReleased,
                                c.given);  // a routine that does nothing
            EXPECT_EQ(std::string(Peer::Name(worker)), c.kept);
            ASSERT_EQ(worker.WaitForExit(5000), 0);
        }
        std::vector<Message> list = fresh.List();
        ASSERT_EQ(list.size(), 3u);
        uint32_t id = ThreadIdOfFirstMessage(list);
        EXPECT_EQ(list[0].text, Expected(1, id, c.kept));
        EXPECT_EQ(list[2].text, Expected(4, id, c.kept));
    }
}

TEST_F(WorkerThreadTest, StuckRoutineIsTerminatedAfterTheTimeOut) {
    WorkerThread worker(NeverLooks, nullptr, WorkerThread::StartAs::kReleased, "stuck");
    ASSERT_TRUE(messages.WaitFor(2));
    Stopwatch watch;
    EXPECT_EQ(worker.Stop(), 0);
    int64_t waited = watch.Ms();
    EXPECT_GE(waited, WorkerThread::kStopTimeoutMs - kEarlyMs);
    // What follows the time-out (the termination, and the wait for the
    // terminated thread to go) has its own bound; how long a busy machine
    // takes to deliver the termination is not this worker's to promise.
    EXPECT_LT(waited, WorkerThread::kStopTimeoutMs + WorkerThread::kTerminatedEndMs);
    EXPECT_EQ(Peer::State(worker), WorkerThread::kEnded);
    std::vector<Message> list = messages.List();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].level, -1);
    EXPECT_EQ(list[2].text, Expected(5, Peer::ThreadId(worker), "stuck"));
    EXPECT_EQ(ThreadIdOfFirstMessage(list), Peer::ThreadId(worker));

    Stopwatch again;
    EXPECT_EQ(worker.Stop(), 0);
    EXPECT_LT(again.Ms(), kPromptMs) << "a second Stop does not wait";
    EXPECT_EQ(messages.List().size(), 3u);
}

TEST_F(WorkerThreadTest, RoutineStoppingItsOwnWorkerOnlyClearsTheFlag) {
    WorkerThread worker(StopsItself, &context, WorkerThread::StartAs::kHeld, "self");
    context.worker = &worker;
    worker.Start();
    ASSERT_EQ(worker.WaitForExit(5000), 0);
    EXPECT_EQ(context.stopResult, 0);
    EXPECT_EQ(context.runningAfterStop, 0);
    EXPECT_EQ(context.stateAfterStop, WorkerThread::kReleased) << "state unchanged";
    worker.Stop();
    ExpectLife({1, 3, 4}, "self");
}

TEST_F(WorkerThreadTest, IsRunningFromConstructionUntilStop) {
    WorkerThread worker(LoopWhileRunning, &context, WorkerThread::StartAs::kHeld, "poll");
    EXPECT_EQ(worker.IsRunning(), 1) << "set before the thread exists";
    context.worker = &worker;
    worker.Start();
    ASSERT_TRUE(Eventually([&] { return context.ran.load(); }));
    EXPECT_EQ(worker.IsRunning(), 1);
    Stopwatch watch;
    worker.Stop();
    EXPECT_LT(watch.Ms(), kPromptMs);
    EXPECT_EQ(worker.IsRunning(), 0);
    ExpectLife({1, 3, 4}, "poll");
}

TEST_F(WorkerThreadTest, StopBeforeTheThreadBeginsIsNeverUndone) {
    for (int i = 0; i < 20; ++i) {
        Messages fresh;
        captured = &fresh;
        Context c;
        auto worker = std::make_unique<WorkerThread>(LoopWhileRunning, &c,
                                                     WorkerThread::StartAs::kReleased, "early");
        c.worker = worker.get();
        Stopwatch watch;
        worker->Stop();
        EXPECT_LT(watch.Ms(), kPromptMs);
        worker.reset();
        for (const Message& m : fresh.List()) {
            EXPECT_EQ(m.level, 3) << m.text;
        }
    }
}

TEST_F(WorkerThreadTest, ExceptionInTheRoutineEndsTheThread) {
    WorkerThread worker(Throws, nullptr, WorkerThread::StartAs::kReleased, "throws");
    ASSERT_EQ(worker.WaitForExit(5000), 0);
    Stopwatch watch;
    worker.Stop();
    EXPECT_LT(watch.Ms(), kPromptMs);
    EXPECT_EQ(worker.IsRunning(), 0);
    ExpectLife({1, 3}, "throws");
}

TEST_F(WorkerThreadTest, RequestStopAndAWakeMakeDestructionQuick) {
    BlockingQueue<int> queue;
    context.queue = &queue;
    auto worker = std::make_unique<WorkerThread>(TakesWhileRunning, &context,
                                                 WorkerThread::StartAs::kHeld, "maintenance");
    context.worker = worker.get();
    worker->Start();
    ASSERT_TRUE(messages.WaitFor(2));
    Stopwatch watch;
    worker->RequestStop();
    EXPECT_EQ(worker->IsRunning(), 0);
    queue.Insert(std::make_unique<int>(0), static_cast<int32_t>(queue.Count()));
    worker.reset();
    EXPECT_LT(watch.Ms(), kPromptMs);
    ExpectLife({1, 3, 4}, "maintenance");
}

TEST_F(WorkerThreadTest, AbandonedWorkerIsNeitherWaitedForNorTerminated) {
    auto worker = std::make_unique<WorkerThread>(WaitsForGo, &context,
                                                 WorkerThread::StartAs::kReleased, "gone");
    ASSERT_TRUE(messages.WaitFor(2));
    worker->Abandon();
    EXPECT_EQ(Peer::State(*worker), WorkerThread::kEnded);
    EXPECT_EQ(worker->IsRunning(), 0);
    Stopwatch watch;
    EXPECT_EQ(worker->Stop(), 0);
    EXPECT_LT(watch.Ms(), kPromptMs);
    EXPECT_EQ(messages.List().size(), 2u) << "no kill message";
    // This thread is still alive; let it end before the worker goes.
    context.go = true;
    ASSERT_EQ(worker->WaitForExit(5000), 0);
    worker.reset();
    ExpectLife({1, 3, 4}, "gone");
}

TEST_F(WorkerThreadTest, AbandonOpensTheGateOfAHeldWorker) {
    auto worker =
        std::make_unique<WorkerThread>(ReturnSeven, &context, WorkerThread::StartAs::kHeld, "held");
    worker->Abandon();
    ASSERT_EQ(worker->WaitForExit(5000), 0) << "the thread passed the gate and ended";
    worker.reset();
    EXPECT_FALSE(context.ran);
    ExpectLife({1, 2}, "held");
}

}  // namespace
}  // namespace vosk
