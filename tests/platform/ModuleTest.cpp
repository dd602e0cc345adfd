#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Module.h"

namespace vosk::platform {
namespace {

TEST(ExecutableDirectory, IsThePathWithoutItsLastComponent) {
    char path[4096];
    ASSERT_GT(ExecutablePath(path, sizeof(path)), 0u);
    char dir[4096];
    ExecutableDirectory(dir, sizeof(dir));
    std::string p(path), d(dir);
    ASSERT_FALSE(d.empty());
    ASSERT_LT(d.size(), p.size());
    EXPECT_EQ(p.compare(0, d.size(), d), 0);
    char sep = p[d.size()];
    EXPECT_TRUE(sep == '/' || sep == '\\');
    EXPECT_EQ(p.find_first_of("/\\", d.size() + 1), std::string::npos);
}

TEST(ExecutableDirectory, TruncatesToTheBuffer) {
    char dir[4];
    ExecutableDirectory(dir, sizeof(dir));
    EXPECT_LE(strlen(dir), 3u);
}

}  // namespace
}  // namespace vosk::platform
