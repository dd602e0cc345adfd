// The lock family: an interface, a lock that does nothing, and a guard.
#pragma once

namespace vosk {

class Lock {
  public:
    virtual ~Lock() = default;
    virtual void Acquire() = 0;
    virtual void Release() = 0;
};

// For objects used by one thread only: the same interface at no cost.
class NullLock : public Lock {
  public:
    void Acquire() override {}
    void Release() override {}
};

// Holds a lock for a scope. A null lock is allowed and does nothing.
class LockGuard {
  public:
    explicit LockGuard(Lock* lock) : lock_(lock) {
        if (lock_ != nullptr) {
            lock_->Acquire();
        }
    }
    ~LockGuard() {
        if (lock_ != nullptr) {
            lock_->Release();
            lock_ = nullptr;
        }
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Lock* lock_;
};

}  // namespace vosk
