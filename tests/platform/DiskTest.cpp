#include <gtest/gtest.h>

#include <cstdint>

#include "platform/ClusterScale.h"
#include "platform/Disk.h"

namespace vosk::platform {
namespace {

TEST(DiskClusters, DescribesTheDiskOfTheDirectoryGiven) {
    uint32_t freeClusters = 0;
    uint32_t totalClusters = 0;
    ASSERT_TRUE(DiskClusters(".", &freeClusters, &totalClusters));
    EXPECT_GT(totalClusters, 0u);
    EXPECT_LE(freeClusters, totalClusters);
    EXPECT_FALSE(DiskClusters(nullptr, &freeClusters, &totalClusters));
    EXPECT_FALSE(DiskClusters(".", nullptr, &totalClusters));
    EXPECT_FALSE(DiskClusters(".", &freeClusters, nullptr));
    EXPECT_FALSE(DiskClusters("./no such directory", &freeClusters, &totalClusters));
}

TEST(ScaleClusters, KeepsTheRatioWhenCountsExceed32Bits) {
    struct Case {
        uint64_t freeCount, totalCount;
        uint32_t freeClusters, totalClusters;
    };
    const Case cases[] = {
        {10, 20, 10, 20},
        {0, UINT32_MAX, 0, UINT32_MAX},
        {1ull << 33, 1ull << 34, 1u << 30, 1u << 31},         // 2^34 blocks: halved 3 times
        {3ull << 40, 1ull << 42, 3u << 29, 1u << 31},         // three quarters free
        {1ull << 40, UINT32_MAX + 1ull, 1u << 31, 1u << 23},  // more free than total
        {UINT64_MAX, UINT64_MAX, UINT32_MAX, UINT32_MAX},
    };
    for (const Case& c : cases) {
        uint32_t f = 1, t = 1;
        ScaleClusters(c.freeCount, c.totalCount, &f, &t);
        EXPECT_EQ(f, c.freeClusters) << c.freeCount << "/" << c.totalCount;
        EXPECT_EQ(t, c.totalClusters) << c.freeCount << "/" << c.totalCount;
    }
}

}  // namespace
}  // namespace vosk::platform
