#include <gtest/gtest.h>

#include <thread>

#include "threading/SectionLock.h"

namespace vosk {
namespace {

class CountingLock : public Lock {
  public:
    void Acquire() override { ++acquired; }
    void Release() override { ++released; }
    int acquired = 0;
    int released = 0;
};

TEST(LockGuard, AcquiresAndReleasesOnce) {
    CountingLock lock;
    {
        LockGuard guard(&lock);
        EXPECT_EQ(lock.acquired, 1);
        EXPECT_EQ(lock.released, 0);
    }
    EXPECT_EQ(lock.released, 1);
}

TEST(LockGuard, NullLockPointerDoesNothing) {
    LockGuard guard(nullptr);
}

TEST(SectionLock, IsRecursiveForItsHolder) {
    SectionLock lock;
    lock.Acquire();
    lock.Acquire();
    lock.Release();
    lock.Release();
}

TEST(SectionLock, SerialisesThreads) {
    SectionLock lock;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 100000; ++i) {
            LockGuard guard(&lock);
            ++counter;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 200000);
}

}  // namespace
}  // namespace vosk
