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

TEST(PlatformMutex, IsRecursiveAndReleasedOnlyByItsOwner) {
    Handle mutex = nullptr;
    ASSERT_TRUE(MutexCreate(&mutex, 0, nullptr));
    EXPECT_EQ(MutexAcquire(mutex), kWaitSignalled);
    EXPECT_EQ(MutexAcquire(mutex), kWaitSignalled);
    bool releasedByOther = true;
    std::thread([&] { releasedByOther = MutexRelease(mutex); }).join();
    EXPECT_FALSE(releasedByOther);
    EXPECT_TRUE(MutexRelease(mutex));
    EXPECT_TRUE(MutexRelease(mutex));
    EXPECT_FALSE(MutexRelease(mutex)) << "released more often than acquired";
    EXPECT_NE(MutexClose(mutex), 0);
}

TEST(PlatformMutex, InitialOwnerIsTheFlagsLowByte) {
    struct Case {
        int flag;
        bool owned;
    };
    for (Case c : {Case{0, false}, Case{1, true}, Case{0x100, false}, Case{0x1FF, true}}) {
        Handle mutex = nullptr;
        ASSERT_TRUE(MutexCreate(&mutex, c.flag, nullptr));
        EXPECT_EQ(MutexRelease(mutex), c.owned) << c.flag;
        EXPECT_NE(MutexClose(mutex), 0);
    }
}

TEST(PlatformMutex, BlocksOtherThreadsUntilReleased) {
    Handle mutex = nullptr;
    ASSERT_TRUE(MutexCreate(&mutex, 1, nullptr));
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        EXPECT_EQ(MutexAcquire(mutex), kWaitSignalled);
        acquired = true;
        EXPECT_TRUE(MutexRelease(mutex));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(acquired);
    EXPECT_TRUE(MutexRelease(mutex));
    other.join();
    EXPECT_TRUE(acquired);
    EXPECT_NE(MutexClose(mutex), 0);
}

TEST(PlatformMutex, ClosesWhileHeld) {
    Handle mutex = nullptr;
    ASSERT_TRUE(MutexCreate(&mutex, 0, nullptr));
    MutexAcquire(mutex);
    MutexAcquire(mutex);
    EXPECT_NE(MutexClose(mutex), 0);

    // Held by another thread, which lets go only after the close.
    ASSERT_TRUE(MutexCreate(&mutex, 0, nullptr));
    std::atomic<int> step{0};
    std::thread holder([&] {
        MutexAcquire(mutex);
        step = 1;
        while (step != 2) {
            std::this_thread::yield();
        }
        MutexRelease(mutex);
    });
    ASSERT_TRUE(Eventually([&] { return step == 1; }));
    EXPECT_NE(MutexClose(mutex), 0);
    step = 2;
    holder.join();
}

TEST(PlatformMutex, NullHandlesFail) {
    EXPECT_FALSE(MutexCreate(nullptr, 0, nullptr));
    EXPECT_EQ(MutexAcquire(nullptr), kWaitFailed);
    EXPECT_FALSE(MutexRelease(nullptr));
    EXPECT_EQ(MutexClose(nullptr), 0);
}

class PlatformEvent : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SignalCreate(&event, &mutex));
        ASSERT_NE(event, nullptr);
        ASSERT_NE(mutex, nullptr);
    }
    void TearDown() override { EXPECT_NE(SignalClose(event, mutex), 0); }

    Handle event = nullptr;
    Handle mutex = nullptr;
};

TEST_F(PlatformEvent, IsAutoResetAndCreatedClear) {
    EXPECT_EQ(EventWait(event, 0), kWaitTimeout);
    EXPECT_NE(EventSet(event), 0);
    EXPECT_NE(EventSet(event), 0);
    EXPECT_EQ(EventWait(event, 0), kWaitSignalled);
    EXPECT_EQ(EventWait(event, 0), kWaitTimeout) << "one wait clears it, however often it was set";
    EXPECT_NE(EventSet(event), 0);
    EXPECT_NE(EventReset(event), 0);
    EXPECT_EQ(EventWait(event, 0), kWaitTimeout);
}

TEST_F(PlatformEvent, WaitTimesOut) {
    Stopwatch watch;
    EXPECT_EQ(EventWait(event, 60), kWaitTimeout);
    EXPECT_GE(watch.Ms(), 60 - kEarlyMs);
}

TEST_F(PlatformEvent, InfiniteWaitEndsWithSet) {
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EventSet(event);
    });
    EXPECT_EQ(EventWait(event, kInfinite), kWaitSignalled);
    setter.join();
}

TEST(PlatformEventNull, FailsWithoutCrashing) {
    Handle event = nullptr;
    Handle mutex = nullptr;
    EXPECT_FALSE(SignalCreate(nullptr, &mutex));
    EXPECT_FALSE(SignalCreate(&event, nullptr));
    EXPECT_EQ(EventSet(nullptr), 0);
    EXPECT_EQ(EventReset(nullptr), 0);
    EXPECT_EQ(EventWait(nullptr, 0), kWaitFailed);
    EXPECT_EQ(EventWait(nullptr, 1000), kWaitFailed);
    EXPECT_EQ(SignalClose(nullptr, nullptr), 0);
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
    EXPECT_EQ(probe.id, id);
    EXPECT_NE(id, CurrentThreadId());
    EXPECT_EQ(probe.process, CurrentProcessId());
    EXPECT_NE(CurrentProcessId(), 0u);
    ThreadClose(thread);
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
