#include "threading/WorkerThread.h"

#include <cstring>

#include "platform/CatchAll.h"
#include "platform/Thread.h"
#include "threading/DebugHook.h"
#include "threading/Signal.h"

namespace vosk {

WorkerThread::WorkerThread(Routine routine, void* argument, StartAs start, const char* name)
    : routine_(routine), argument_(argument) {
    // At most 63 characters, so that the messages always find the end.
    memset(name_, 0, sizeof(name_));
    strncpy(name_, name != nullptr ? name : "anonymous", sizeof(name_) - 1);
    if (start == StartAs::kHeld) {
        gate_.Acquire();
        state_.store(kHeld);
    } else {
        state_.store(kReleased);
    }
    // Raised before the thread exists: a Stop that comes before the thread
    // has begun is then never undone by the thread.
    running_.store(1);
    uint32_t id = 0;
    if (platform::ThreadCreate(&WorkerThread::ThreadMain, this, &id, &threadHandle_)) {
        // Where the system names the thread only once it begins, the thread
        // stores its identifier itself (ThreadMain).
        if (id != 0) {
            threadId_.store(id);
        }
    } else {
        if (state_.load() == kHeld) {
            gate_.Release();  // nobody will pass it; a held lock must not be destroyed
        }
        state_.store(kEnded);
        running_.store(0);
        left_.store(true);
    }
}

WorkerThread::~WorkerThread() {
    Stop();
    platform::ThreadClose(threadHandle_);
    threadHandle_ = nullptr;
}

bool WorkerThread::Release() {
    int32_t held = kHeld;
    if (!state_.compare_exchange_strong(held, kReleased)) {
        return false;
    }
    gate_.Release();
    return true;
}

int32_t WorkerThread::Start() {
    Release();
    return 0;
}

int32_t WorkerThread::Stop() {
    running_.store(0);
    return Join(kStopTimeoutMs);
}

void WorkerThread::RequestStop() {
    running_.store(0);
}

int32_t WorkerThread::Join(int32_t timeoutMs) {
    if (platform::CurrentThreadId() == threadId_.load()) {
        return 0;
    }
    if (!Release() && state_.load() != kReleased) {
        return 0;  // ended already, or never created
    }
    // A stopped worker whose thread has not begun yet is not waited for:
    // where a thread begins under a lock that its owner may hold (a
    // Windows DLL's unload holds the loader lock), it could not begin
    // before the time-out.
    if (running_.load() == 0 && platform::ThreadCancelUnstarted(threadHandle_)) {
        exited_.store(true);
        left_.store(true);
        state_.store(kEnded);
        return 0;
    }
    if (WaitForExit(timeoutMs) == 0) {
        left_.store(true);
    } else {
        DebugHook(-1, "__debug__ thread[%x](%s) not exit normally...,Kill it.\n", threadId_.load(),
                  name_);
        platform::ThreadTerminate(threadHandle_, 0);
        // A POSIX cancellation acts only at the thread's next cancellation
        // point: until it has ended, it may still use what its owner holds.
        left_.store(platform::ThreadWaitEnd(threadHandle_, kTerminatedEndMs));
    }
    state_.store(kEnded);
    return 0;
}

void WorkerThread::Abandon() {
    running_.store(0);  // first: a thread that is still held must not run the routine
    Release();          // a held gate must not be destroyed held
    state_.store(kEnded);
    left_.store(true);
}

int32_t WorkerThread::WaitForExit(int32_t timeoutMs) {
    if (!exited_.load()) {
        if (!platform::ThreadWaitReturn(threadHandle_, timeoutMs)) {
            return kWaitTimedOut;
        }
        exited_.store(true);
    }
    return kWaitPassed;
}

uint32_t WorkerThread::ThreadMain(void* raw) {
    WorkerThread* self = static_cast<WorkerThread*>(raw);
    // The creating thread may store the same value once ThreadCreate
    // returns; the routine may ask (Stop on its own worker) before that.
    self->threadId_.store(platform::CurrentThreadId());
    // A terminated thread unwinds from here without touching the worker:
    // its owner may have destroyed it already.
    platform::CatchAll([self] {
        DebugHook(3, "__debug__ create THREAD[%x:%d](%s)\n", platform::CurrentThreadId(),
                  static_cast<int>(platform::CurrentProcessId()), self->name_);
        self->Run();
    });
    // The worker's last use: once the procedure has returned, the owner may
    // destroy it and unload the library (see platform::ThreadWaitReturn).
    self->running_.store(0);
    return 0;
}

int32_t WorkerThread::Run() {
    if (state_.load() == kHeld) {
        gate_.Acquire();  // blocks until the owner opens the gate
        gate_.Release();
    }
    // Everything the routine's thread reads of the worker is read here,
    // before the messages: a routine that has to be terminated keeps running
    // after its owner has destroyed the worker.
    char name[kNameSize];
    memcpy(name, name_, sizeof(name));
    const Routine routine = routine_;
    void* const argument = argument_;
    const int pid = static_cast<int>(platform::CurrentProcessId());
    if (running_.load() == 0) {
        DebugHook(3, "__debug__ THREAD[0x%x:%d](%s) destroy without running\n",
                  platform::CurrentThreadId(), pid, name);
        return 0;
    }
    platform::CatchAll([&] {
        DebugHook(3, "__debug__ THREAD[0x%x:%d](%s) runing\n", platform::CurrentThreadId(), pid,
                  name);
        if (routine != nullptr) {
            result_ = routine(argument);
        }
        DebugHook(3, "__debug__ THREAD[0x%x:%d](%s) exit.\n", platform::CurrentThreadId(), pid,
                  name);
    });
    return 0;
}

}  // namespace vosk
