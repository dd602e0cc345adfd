// Elapsed time for tests whose behaviour is a real wait, and a bounded poll
// for a condition another thread brings about.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace vosk::test {

class Stopwatch {
  public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    int64_t Ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

// Windows may end a timed wait up to a clock tick early.
constexpr int64_t kEarlyMs = 20;
// Far above any wait that is meant to end at once, far below the long
// time-outs such waits are given, so that a hang shows as a failure.
constexpr int64_t kPromptMs = 700;

// Polls until the predicate holds, for at most the limit; its last answer.
template <class Predicate>
bool Eventually(Predicate predicate, int64_t limitMs = 5000) {
    Stopwatch watch;
    while (!predicate()) {
        if (watch.Ms() > limitMs) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace vosk::test
