// One platform thread that runs one routine with one argument.
//
// The thread is created at once, but can be held at a gate until its owner
// releases it with Start. The routine polls IsRunning and ends when it
// answers 0; Stop clears the flag and gives the thread 1000 ms to end before
// terminating it. Each step of the thread's life is reported through
// DebugHook.
//
// Threads: the constructing thread holds the gate of a held worker, and only
// it may release it, so Start, and a Stop or destruction of a worker that
// was never started, belong on that thread. A started worker can be stopped
// and destroyed from any thread but its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/Thread.h"
#include "platform/ThreadAnnotations.h"
#include "threading/SectionLock.h"

namespace vosk {

namespace test {
class WorkerThreadTestPeer;
}

class WorkerThread {
  public:
    using Routine = int32_t (*)(void* argument);

    static constexpr int32_t kEnded = -1;
    static constexpr int32_t kHeld = 0;
    static constexpr int32_t kReleased = 1;
    static constexpr int32_t kStopTimeoutMs = 1000;
    // How long a terminated thread is given to end before its owner must
    // leave everything it may touch in place.
    static constexpr int32_t kTerminatedEndMs = 10000;
    static constexpr size_t kNameSize = 64;

    // kHeld: the thread waits at the gate until Start; kReleased: it runs
    // the routine at once.
    enum class StartAs { kHeld, kReleased };

    // A null name is "anonymous"; a longer one is cut to 63 characters.
    // A null routine is a routine that does nothing.
    WorkerThread(Routine routine, void* argument, StartAs start, const char* name);
    // Stops the worker (Stop), then closes the thread handle. Destroy a
    // worker only when HasLeft(): a thread that has not left still uses it.
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Releases a held worker; nothing in any other state. Returns 0.
    int32_t Start();
    // Clears the running flag, then Join with 1000 ms. Returns 0. Called by
    // the routine on its own worker, it only clears the flag.
    int32_t Stop();
    // Releases a held worker, waits for the thread procedure to end, and
    // terminates the thread when it does not within the time-out (reported
    // as a debug message at level -1), then gives it kTerminatedEndMs to
    // end. A stopped worker whose thread procedure has not begun yet (see
    // platform::ThreadCreate) is not waited for: the procedure never begins,
    // and no message is reported. Returns 0 at once on the worker's own
    // thread and on an ended worker.
    int32_t Join(int32_t timeoutMs);
    // Clears the running flag and returns at once. The routine ends at its
    // next poll; an owner that can also wake it (post to the queue it waits
    // on) finds the following Stop or destruction quick.
    void RequestStop();
    // For an owner that knows the thread is already gone without having
    // signalled its end (Windows ends every other thread before a DLL sees
    // process exit): marks the worker ended, so that Stop and the destructor
    // neither wait nor terminate. The thread must not run any more.
    void Abandon();
    // Waits up to the time-out for the thread procedure to end, without
    // stopping or terminating anything: 0 when it has ended (or the thread
    // was never created), 258 when the time ran out.
    int32_t WaitForExit(int32_t timeoutMs);
    // True once the thread runs none of the library's code any more (joined
    // after its end, ended after a termination, abandoned, or never
    // created); the code may then be unloaded and the worker and its
    // routine's argument freed. False while the thread may still run.
    bool HasLeft() const { return left_.load(); }

    // 1 from construction until Stop, RequestStop or the end of the thread
    // procedure; 0 afterwards. The routine polls it.
    uint8_t IsRunning() const { return running_.load(); }

  private:
    // Tests look at the state, the thread, the name and the result.
    friend class test::WorkerThreadTestPeer;

    static uint32_t ThreadMain(void* worker);
    int32_t Run();
    // Moves a held worker to released and opens its gate; true when it did.
    // The gate is taken by the constructor and opened here, once: a gate,
    // not a lock around fields, which the lock analysis cannot follow.
    bool Release() NO_THREAD_SAFETY_ANALYSIS;

    Routine routine_;
    void* argument_;
    std::atomic<int32_t> state_{kEnded};
    SectionLock gate_;
    std::atomic<bool> exited_{false};
    std::atomic<bool> left_{false};
    std::atomic<uint32_t> threadId_{0};
    platform::Handle threadHandle_ = nullptr;
    char name_[kNameSize];
    int32_t result_ = 0;
    std::atomic<uint8_t> running_{0};
};

}  // namespace vosk
