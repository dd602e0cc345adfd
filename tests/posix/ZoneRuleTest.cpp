// Stamps and archive names across a change of the clock, under a zone rule
// of the test's own set for this process: XST is UTC+1, XDT UTC+2 from the
// last Sunday of March, 02:00, to the last Sunday of October, 03:00. On
// 2026-10-25 the clock goes from 03:00 XDT back to 02:00 XST at 01:00 UTC,
// and the local hour 02:00-03:00 comes twice.
#include <gtest/gtest.h>
#include <time.h>

#include <string>
#include <vector>

#include "VOSK_Log.h"
#include "api/LogOptions.h"
#include "log/Clock.h"
#include "log/Log.h"
#include "platform/Time.h"
#include "support/LogCalls.h"
#include "support/TempDir.h"
#include "support/ZoneRule.h"

namespace vosk {
namespace {

using test::ReadBytes;
using test::TempDir;

constexpr char kRule[] = "XST-1XDT,M3.5.0/2,M10.5.0/3";
// 2026-10-25 01:00:00 UTC, the moment the clock goes back.
constexpr time_t kFallBack = 1792890000;

// The system's zone conversions at a time the test sets.
class ZoneClock : public Clock {
  public:
    void Set(time_t seconds, int milliseconds) {
        seconds_ = seconds;
        milliseconds_ = milliseconds;
    }
    time_t Time() override { return seconds_; }
    bool LocalCalendar(time_t t, std::tm* out) override { return platform::LocalCalendar(t, out); }
    void LocalTimeNow(platform::LocalTime* now) override {
        platform::ZonedTime zoned;
        ASSERT_TRUE(platform::ZonedTimeAt(seconds_, milliseconds_, &zoned));
        *now = zoned.local;
    }
    void ZonedTimeNow(platform::ZonedTime* now) override {
        ASSERT_TRUE(platform::ZonedTimeAt(seconds_, milliseconds_, now));
    }
    int64_t MonotonicMs() override { return 0; }

  private:
    time_t seconds_ = 0;
    int milliseconds_ = 0;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// One record every 20 minutes from 40 minutes before the fall-back to 40
// after, in each form: the default repeats the hour, the offset tells the
// two apart, UTC goes straight on.
TEST(ZoneRuleTest, StampsAcrossAFallBackSayWhichHourTheyAreIn) {
    test::ZoneRule rule(kRule);
    struct Case {
        int32_t form;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {SL_STAMP_LOCAL,
         {"[2026-10-25 02:20:00.250] r", "[2026-10-25 02:40:00.250] r",
          "[2026-10-25 02:00:00.250] r", "[2026-10-25 02:20:00.250] r",
          "[2026-10-25 02:40:00.250] r"}},
        {SL_STAMP_LOCAL_OFFSET,
         {"[2026-10-25 02:20:00.250 +02:00] r", "[2026-10-25 02:40:00.250 +02:00] r",
          "[2026-10-25 02:00:00.250 +01:00] r", "[2026-10-25 02:20:00.250 +01:00] r",
          "[2026-10-25 02:40:00.250 +01:00] r"}},
        {SL_STAMP_UTC,
         {"[2026-10-25 00:20:00.250Z] r", "[2026-10-25 00:40:00.250Z] r",
          "[2026-10-25 01:00:00.250Z] r", "[2026-10-25 01:20:00.250Z] r",
          "[2026-10-25 01:40:00.250Z] r"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        TempDir dir;
        ZoneClock clock;
        clock.Set(kFallBack - 2400, 250);
        Log log(&clock);
        log.SetDirectory(dir.Str().c_str());
        log.SetNameAndLevel("app.log", 0);
        ASSERT_EQ(SetLogOption(&log, SL_OPTION_STAMP, c.form), OptionResult::kSet);
        for (time_t t = kFallBack - 2400; t <= kFallBack + 2400; t += 1200) {
            clock.Set(t, 250);
            test::Trace(log, 0, "r");
        }
        log.Flush();
        EXPECT_EQ(Lines(ReadBytes(dir.Path() / "app.log")), c.expected);
    }
}

}  // namespace
}  // namespace vosk
