#include "Options.h"

#include "VOSK_Log.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace vosklog {
namespace {

ParseResult Parse(std::vector<const char*> args, Options* options, std::string* error) {
    args.insert(args.begin(), "vosklog");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(OptionsTest, EveryOptionIsTaken) {
    Options o;
    std::string error;
    ASSERT_EQ(Parse({"-d",          "logs",    "-n",           "app.log",
                     "-s",          "10M",     "-l",           "-3",
                     "--raw",       "--tee",   "--disk-limit", "900",
                     "--keep-days", "30",      "--dry-run",    "--drop-when-full",
                     "--on-rotate", "gzip -k", "--stamp",      "utc",
                     "--compress"},
                    &o, &error),
              ParseResult::kRun)
        << error;
    EXPECT_EQ(o.directory, "logs");
    EXPECT_EQ(o.name, "app.log");
    EXPECT_TRUE(o.sizeLimitSet);
    EXPECT_EQ(o.sizeLimit, 10 << 20);
    EXPECT_EQ(o.level, -3);
    EXPECT_TRUE(o.raw);
    EXPECT_TRUE(o.tee);
    EXPECT_TRUE(o.diskLimitSet);
    EXPECT_EQ(o.diskLimit, 900u);
    EXPECT_EQ(o.keepDays, 30);
    EXPECT_TRUE(o.dryRun);
    EXPECT_TRUE(o.dropWhenFull);
    EXPECT_EQ(o.onRotate, "gzip -k");
    EXPECT_EQ(o.stamp, SL_STAMP_UTC);
    EXPECT_TRUE(o.compress);
}

TEST(OptionsTest, DefaultsLeaveTheLibrarysValues) {
    Options o;
    std::string error;
    ASSERT_EQ(Parse({"-n", "a"}, &o, &error), ParseResult::kRun);
    EXPECT_EQ(o.directory, ".");
    EXPECT_FALSE(o.sizeLimitSet);
    EXPECT_EQ(o.level, 0);
    EXPECT_FALSE(o.raw || o.tee || o.diskLimitSet || o.dryRun || o.dropWhenFull);
    EXPECT_EQ(o.keepDays, 0);
    EXPECT_TRUE(o.onRotate.empty());
    EXPECT_EQ(o.stamp, SL_STAMP_LOCAL);
    EXPECT_FALSE(o.compress);
}

TEST(OptionsTest, HelpIsTakenWhereItStands) {
    Options o;
    std::string error;
    EXPECT_EQ(Parse({"--help"}, &o, &error), ParseResult::kHelp);
    EXPECT_EQ(Parse({"-s", "bad", "-h"}, &o, &error), ParseResult::kError);  // read in order
    EXPECT_EQ(Parse({"-n", "a", "-h"}, &o, &error), ParseResult::kHelp);
    EXPECT_EQ(Parse({"--version"}, &o, &error), ParseResult::kVersion);
    EXPECT_EQ(Parse({"-n", "a", "--version", "--bad"}, &o, &error), ParseResult::kVersion);
}

TEST(OptionsTest, BadCommandLinesAreRefusedWithAMessage) {
    const std::vector<std::vector<const char*>> cases = {
        {},
        {"-d", "x"},
        {"-n"},
        {"-n", ""},
        {"-n", "a", "--keep-days"},
        {"-n", "a", "--keep-days", "-1"},
        {"-n", "a", "--keep-days", "x"},
        {"-n", "a", "--stamp"},
        {"-n", "a", "--stamp", "UTC"},
        {"-n", "a", "--stamp", "1"},
        {"-n", "a", "--stamp", ""},
        {"-n", "a", "-d", "  "},
        {"-n", "a", "-x"},
        {"-n", "a", "extra"},
        {"-n", "a", "-s"},
        {"-n", "a", "-s", "2G"},
        {"-n", "a", "-s", "-1"},
        {"-n", "a", "-s", "1T"},
        {"-n", "a", "-s", "M"},
        {"-n", "a", "-s", "1 M"},
        {"-n", "a", "-l", "1.5"},
        {"-n", "a", "-l", "2147483648"},
        {"-n", "a", "-l", ""},
        {"-n", "a", "--disk-limit", "-1"},
        {"-n", "a", "--disk-limit", "4294967296"},
        {"-n", "a", "--on-rotate"},
        {"-n", "a", "--on-rotate", " "},
        {"-n", "a", "--disk-limit", "80%"},
    };
    for (const auto& args : cases) {
        Options o;
        std::string error;
        std::string line;
        for (const char* a : args) {
            line += std::string(a) + " ";
        }
        SCOPED_TRACE(line);
        EXPECT_EQ(Parse(args, &o, &error), ParseResult::kError);
        EXPECT_FALSE(error.empty());
    }
}

TEST(OptionsTest, SizesTakeBinarySuffixes) {
    struct Case {
        const char* text;
        bool ok;
        int32_t size;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"1048576", true, 1048576},
        {"512k", true, 512 << 10},
        {"10M", true, 10 << 20},
        {"1g", true, 1 << 30},
        {"2047M", true, 2047 << 20},
        {"2147483647", true, INT32_MAX},
        {"2147483648", false, 0},
        {"2G", false, 0},
        {"", false, 0},
        {"K", false, 0},
        {"+5", true, 5},
        {"5KB", false, 0},
        {"0x10", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t size = -7;
        EXPECT_EQ(ParseSize(c.text, &size), c.ok);
        if (c.ok) {
            EXPECT_EQ(size, c.size);
        }
    }
}

}  // namespace
}  // namespace vosklog
