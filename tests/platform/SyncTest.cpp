#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Sync.h"
#include "platform/Thread.h"
#include "support/Stopwatch.h"

namespace vosk::platform {
namespace {

using test::Eventually;
using test::kEarlyMs;
using test::kPromptMs;
using test::Stopwatch;

TEST(PlatformMutex, BlocksOtherThreadsUntilUnlocked) {
    MutexStorage mutex;
    MutexInit(&mutex);
    MutexLock(&mutex);
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        MutexLock(&mutex);
        acquired = true;
        MutexUnlock(&mutex);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(acquired);
    MutexUnlock(&mutex);
    other.join();
    EXPECT_TRUE(acquired);
    MutexDelete(&mutex);
}

class PlatformCondition : public ::testing::Test {
  protected:
    void SetUp() override {
        MutexInit(&mutex);
        CondInit(&cond);
    }
    void TearDown() override {
        CondDelete(&cond);
        MutexDelete(&mutex);
    }

    MutexStorage mutex;
    CondStorage cond;
};

TEST_F(PlatformCondition, WaitTimesOutAndHoldsTheMutexAgain) {
    for (int32_t timeout : {0, 60}) {
        MutexLock(&mutex);
        Stopwatch watch;
        // A wait may end for no reason before its time.
        bool woken = false;
        do {
            woken = CondWait(&cond, &mutex, timeout);
        } while (woken && watch.Ms() < timeout);
        EXPECT_FALSE(woken) << timeout;
        EXPECT_GE(watch.Ms(), timeout - kEarlyMs);
        MutexUnlock(&mutex);  // held again: the unlock is the caller's
    }
}

TEST_F(PlatformCondition, SignalWakesAWaiterWithoutLimit) {
    bool ready = false;
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        MutexLock(&mutex);
        ready = true;
        CondSignal(&cond);
        MutexUnlock(&mutex);
    });
    Stopwatch watch;
    MutexLock(&mutex);
    while (!ready) {
        CondWait(&cond, &mutex, -1);
    }
    MutexUnlock(&mutex);
    EXPECT_LT(watch.Ms(), kPromptMs);
    signaller.join();
}

struct ThreadProbe {
    std::atomic<uint32_t> id{0};
    std::atomic<uint32_t> process{0};
};

uint32_t RecordIdentity(void* raw) {
    ThreadProbe* probe = static_cast<ThreadProbe*>(raw);
    probe->process = CurrentProcessId();
    probe->id = CurrentThreadId();
    return 0;
}

TEST(PlatformThread, RunsTheProcedureWithItsIdentifiers) {
    ThreadProbe probe;
    uint32_t id = 0;
    Handle thread = nullptr;
    ASSERT_TRUE(ThreadCreate(RecordIdentity, &probe, &id, &thread));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(Eventually([&] { return probe.id != 0; }));
    EXPECT_TRUE(id == 0 || id == probe.id) << "0 where the thread is named when it begins";
    EXPECT_NE(id, CurrentThreadId());
    EXPECT_EQ(probe.process, CurrentProcessId());
    EXPECT_NE(CurrentProcessId(), 0u);
    ThreadClose(thread);
}

std::atomic<bool> finish{false};

uint32_t RunUntilFinish(void*) {
    while (!finish) {
        SleepMs(1);
    }
    return 0;
}

TEST(PlatformThread, WaitReturnAnswersOnceTheProcedureHasReturned) {
    Handle thread = nullptr;
    ASSERT_TRUE(ThreadCreate(RunUntilFinish, nullptr, nullptr, &thread));
    Stopwatch watch;
    EXPECT_FALSE(ThreadWaitReturn(thread, 30));
    EXPECT_GE(watch.Ms(), 30 - kEarlyMs);
    finish = true;
    EXPECT_TRUE(ThreadWaitReturn(thread, 5000));
    EXPECT_TRUE(ThreadWaitReturn(thread, 0)) << "and goes on answering so";
    EXPECT_TRUE(ThreadWaitReturn(nullptr, 0));
    ThreadClose(thread);
}

struct Gate {
    std::atomic<bool> began{false};
    std::atomic<bool> open{false};
};

uint32_t BeginAndWaitForTheGate(void* raw) {
    Gate* gate = static_cast<Gate*>(raw);
    gate->began = true;
    while (!gate->open) {
        SleepMs(1);
    }
    return 0;
}

// A procedure that has begun is never cancelled: it runs to its end. One
// stopped straight after the start either had begun (POSIX always has) and
// runs to its end, or had not and never begins: in both cases the wait for
// its return then ends.
TEST(PlatformThread, CancelUnstartedStopsOnlyAProcedureThatHasNotBegun) {
    Gate begun;
    Handle thread = nullptr;
    ASSERT_TRUE(ThreadCreate(BeginAndWaitForTheGate, &begun, nullptr, &thread));
    ASSERT_TRUE(Eventually([&] { return begun.began.load(); }));
    EXPECT_FALSE(ThreadCancelUnstarted(thread));
    EXPECT_FALSE(ThreadWaitReturn(thread, 0)) << "still running";
    begun.open = true;
    EXPECT_TRUE(ThreadWaitReturn(thread, 5000));
    ThreadClose(thread);

    for (int i = 0; i < 20; ++i) {
        Gate gate;
        gate.open = true;
        ASSERT_TRUE(ThreadCreate(BeginAndWaitForTheGate, &gate, nullptr, &thread));
        const bool cancelled = ThreadCancelUnstarted(thread);
        EXPECT_EQ(ThreadCancelUnstarted(thread), cancelled) << "and goes on answering so";
        EXPECT_TRUE(ThreadWaitReturn(thread, 5000));
        ThreadClose(thread);
        if (cancelled) {
            EXPECT_FALSE(gate.began) << "a cancelled procedure ran";
        }
    }
    EXPECT_FALSE(ThreadCancelUnstarted(nullptr));
}

TEST(PlatformThread, RefusesBadArguments) {
    uint32_t id = 0;
    Handle thread = reinterpret_cast<Handle>(1);
    EXPECT_FALSE(ThreadCreate(nullptr, nullptr, &id, &thread));
    EXPECT_EQ(thread, nullptr);
    EXPECT_FALSE(ThreadCreate(RecordIdentity, nullptr, &id, nullptr));
    EXPECT_EQ(ThreadTerminate(nullptr, 0), 0);
    ThreadClose(nullptr);
}

// Static: a terminated thread may still be on its way out when the test ends.
// The thread sleeps through the platform, whose sleep leaves no address
// checker marks behind when the thread is cancelled in it.
struct Sleeper {
    std::atomic<int> ticks{0};
    std::atomic<bool> swallowed{false};
};
Sleeper sleeper;

uint32_t SleepInALoop(void*) {
    try {
        for (;;) {
            ++sleeper.ticks;
            SleepMs(1);
        }
    } catch (...) {
        RethrowIfThreadCancellation();
        sleeper.swallowed = true;
    }
    return 0;
}

TEST(PlatformThread, TerminateEndsASleepingThreadThroughCatchAll) {
    Handle thread = nullptr;
    ASSERT_TRUE(ThreadCreate(SleepInALoop, nullptr, nullptr, &thread));
    ASSERT_TRUE(Eventually([] { return sleeper.ticks > 3; }));
    Stopwatch watch;
    EXPECT_NE(ThreadTerminate(thread, 0), 0);
    EXPECT_LT(watch.Ms(), kPromptMs) << "terminating never waits";
    ThreadClose(thread);
    // Ended: the counter stands still.
    EXPECT_TRUE(Eventually([] {
        int before = sleeper.ticks;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return sleeper.ticks == before;
    }));
    EXPECT_FALSE(sleeper.swallowed);
}

TEST(PlatformThread, RethrowIfThreadCancellationLetsOrdinaryExceptionsBe) {
    bool caught = false;
    try {
        throw 7;
    } catch (...) {
        RethrowIfThreadCancellation();
        caught = true;
    }
    EXPECT_TRUE(caught);
    // The exception is still the one being handled.
    try {
        try {
            throw 8;
        } catch (...) {
            RethrowIfThreadCancellation();
            throw;
        }
    } catch (int value) {
        EXPECT_EQ(value, 8);
    }
}

}  // namespace
}  // namespace vosk::platform
