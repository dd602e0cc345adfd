#include "LogSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vosklog {
namespace {

namespace fs = std::filesystem;

// The directory given, read the log's way and taken from the current
// directory: every spelling of one directory comes to the same paths.
TEST(LogSettingsTest, DirectoryComesToOneAbsolutePath) {
    const std::string logs = (fs::current_path() / "logs").lexically_normal().u8string();
    const std::string absolute = fs::current_path().u8string() + "/logs";
    for (const char* given :
         {"logs", " \tlogs\t ", "logs/", "./logs", "other/../logs", absolute.c_str()}) {
        SCOPED_TRACE(given);
        Options options;
        options.directory = given;
        options.name = "app.log";
        LogSettings settings;
        std::string error;
        ASSERT_TRUE(ResolveSettings(options, &settings, &error)) << error;
        EXPECT_EQ(settings.directory, logs);
        EXPECT_EQ(settings.file, logs + "/app.log");
        EXPECT_EQ(settings.backup, logs + "/app.log.bak");
    }
}

}  // namespace
}  // namespace vosklog
