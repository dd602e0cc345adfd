// The maintenance worker as a DLL's load and unload meet it: with the loader
// lock held, which a thread needs to begin. The test holds that lock itself
// (ntdll's LdrLockLoaderLock, as the loader does around DllMain).
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "support/Stopwatch.h"
#include "threading/WorkerThread.h"

namespace vosk {
namespace {

using LockLoader = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
using UnlockLoader = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);

// Started and stopped within one DllMain, as a load followed at once by an
// unload does: the stop neither waits for the thread to begin nor ends it
// by force.
TEST(LoaderLock, AWorkerStoppedBeforeItsThreadCouldBeginIsNotWaitedFor) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto lock = reinterpret_cast<LockLoader>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
    auto unlock = reinterpret_cast<UnlockLoader>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
    ASSERT_NE(lock, nullptr);
    ASSERT_NE(unlock, nullptr);
    for (int i = 0; i < 5; ++i) {
        ULONG_PTR cookie = 0;
        ASSERT_EQ(lock(0, nullptr, &cookie), 0);
        auto worker =
            std::make_unique<WorkerThread>(nullptr, nullptr, WorkerThread::StartAs::kHeld, "early");
        worker->Start();
        test::Stopwatch watch;
        worker->Stop();
        const int64_t stopMs = watch.Ms();
        const bool left = worker->HasLeft();
        worker.reset();
        unlock(0, cookie);
        EXPECT_LT(stopMs, test::kPromptMs) << "the stop waited for the thread";
        EXPECT_TRUE(left);
    }
}

}  // namespace
}  // namespace vosk
