// What tests may read of a worker beyond its public interface.
#pragma once

#include <cstdint>

#include "threading/WorkerThread.h"

namespace vosk::test {

class WorkerThreadTestPeer {
  public:
    // kHeld, kReleased or kEnded.
    static int32_t State(const WorkerThread& worker) { return worker.state_.load(); }
    static uint32_t ThreadId(const WorkerThread& worker) { return worker.threadId_.load(); }
    static const char* Name(const WorkerThread& worker) { return worker.name_; }
    // What the routine returned; read it after the worker has ended.
    static int32_t Result(const WorkerThread& worker) { return worker.result_; }
};

}  // namespace vosk::test
