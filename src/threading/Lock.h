// The lock family: an interface, a lock that does nothing, and a guard.
// Each is known to clang's lock analysis (see ThreadAnnotations.h).
#pragma once

#include "platform/ThreadAnnotations.h"

namespace vosk {

class CAPABILITY("mutex") Lock {
  public:
    virtual ~Lock() = default;
    virtual void Acquire() ACQUIRE() = 0;
    virtual void Release() RELEASE() = 0;
};

// For objects used by one thread only: the same interface at no cost.
class NullLock : public Lock {
  public:
    void Acquire() override ACQUIRE() {}
    void Release() override RELEASE() {}
};

// Holds a lock for a scope. A null lock is allowed and does nothing.
class SCOPED_CAPABILITY LockGuard {
  public:
    explicit LockGuard(Lock* lock) ACQUIRE(lock) : lock_(lock) {
        if (lock_ != nullptr) {
            lock_->Acquire();
        }
    }
    ~LockGuard() RELEASE() {
        if (lock_ != nullptr) {
            lock_->Release();
            lock_ = nullptr;
        }
    }
    explicit LockGuard(Lock& lock) ACQUIRE(lock) : LockGuard(&lock) {}
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Lock* lock_;
};

}  // namespace vosk
