#include "platform/DirectoryLock.h"

#include <gtest/gtest.h>

#include "platform/HeldDirectory.h"
#include "support/TempDir.h"

namespace vosk::platform {
namespace {

TEST(DirectoryLock, ExcludesAnotherUntilItGoesOutOfScope) {
    test::TempDir dir;
    const HeldDirectoryPtr first(DirectoryHold(dir.Str().c_str()));
    const HeldDirectoryPtr second(DirectoryHold(dir.Str().c_str()));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    {
        const DirectoryLock held(first.get());
        if (!held.Held()) {
            GTEST_SKIP() << "directories are not locked here";
        }
        // Another hold of the same directory is another lock: refused
        // after its short wait, never waited for.
        EXPECT_FALSE(DirectoryLock(second.get()).Held());
        EXPECT_FALSE(DirectoryLock(first.get()).Held());
    }
    EXPECT_TRUE(DirectoryLock(second.get()).Held());
    EXPECT_TRUE(DirectoryLock(first.get()).Held());
}

TEST(DirectoryLock, NoDirectoryIsNeverHeld) {
    EXPECT_FALSE(DirectoryLock(nullptr).Held());
}

}  // namespace
}  // namespace vosk::platform
