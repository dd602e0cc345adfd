// vosklog-read: a log's history, archive, backup and live file, in time
// order; a range of it; and what is added, followed.
//
//     vosklog-read -d /var/log/app -n app.log --since '2026-12-11 10:00' --until '2026-12-11 10:05'
//     vosklog-read -d /var/log/app -n app.log --follow
#include <cstdio>
#include <string>

#include "FileSet.h"
#include "HistoryReader.h"
#include "LocalZone.h"
#include "LogSettings.h"
#include "Options.h"
#include "RangeStamps.h"
#include "ReaderOptions.h"
#include "RecordOutput.h"
#include "platform/Input.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitDamaged = 1;
constexpr int kExitUsage = 2;
// How often a followed log is looked at when nothing came.
constexpr int kFollowPollMs = 100;
constexpr int kBusyPollMs = 10;

int Fail(const std::string& message) {
    std::fprintf(stderr, "vosklog-read: %s\n", message.c_str());
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vosklogread;
    vosk::platform::StandardStreamsReserve();
    ReaderOptions options;
    std::string error;
    switch (ParseReaderOptions(argc, argv, &options, &error)) {
        case ParseResult::kHelp:
            std::fputs(ReaderUsage(), stdout);
            return kExitOk;
        case ParseResult::kVersion:
            std::fputs(ReaderVersionLine().c_str(), stdout);
            return kExitOk;
        case ParseResult::kError:
            return Fail(error + " (see vosklog-read --help)");
        case ParseResult::kRun:
            break;
    }
    // The directory and name read as vosklog and the library read them.
    vosklog::Options logOptions;
    logOptions.directory = options.directory;
    logOptions.name = options.name;
    vosklog::LogSettings settings;
    if (!vosklog::ResolveSettings(logOptions, &settings, &error)) {
        return Fail(error);
    }
    LocalZone zone;
    TimeRange range;
    std::string notices;
    if (!ResolveRange(options, &zone, &range, &error, &notices)) {
        return Fail(error + " (see vosklog-read --help)");
    }
    if (!notices.empty()) {
        std::fprintf(stderr, "vosklog-read: %s", notices.c_str());
    }
    // A closed standard output then fails a write instead of ending us.
    vosk::platform::StopRequestsCatch();

    FileSet files(settings.directory, settings.name, &zone);
    RecordOutput output;
    HistoryReader reader(&files, &zone, range, options.windowMs, &output);
    reader.ReadAll(options.follow);
    if (options.follow) {
        files.LimitToRecentDays();
        while (!output.Failed() && !reader.PastRange() && !vosk::platform::StopRequested()) {
            // While records come, a short pause between reads; otherwise
            // the ones held for the window go out first.
            int pause = kBusyPollMs;
            if (!reader.FollowOnce()) {
                reader.Idle();
                pause = kFollowPollMs;
            }
            output.Flush();
            if (vosk::platform::WaitForRequest(pause)) {
                vosk::platform::TakeRequests();
            }
        }
    }
    reader.Finish();
    return reader.Damaged() > 0 ? kExitDamaged : kExitOk;
}
