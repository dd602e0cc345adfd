// vosklog: any program's output into a log of this library.
//
//     some-server 2>&1 | vosklog -d /var/log/some-server -n server.log -s 10M
#include <cstdint>
#include <cstdio>
#include <string>

#include "InputPump.h"
#include "LineSplitter.h"
#include "LogSettings.h"
#include "Options.h"
#include "PipeLog.h"
#include "platform/Input.h"

namespace {

// Each outcome its own code, so that a script can tell them apart.
constexpr int kExitOk = 0;
constexpr int kExitNotWritten = 1;
constexpr int kExitUsage = 2;
constexpr int kExitReadError = 3;

int Fail(const std::string& message) {
    std::fprintf(stderr, "vosklog: %s\n", message.c_str());
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vosklog;
    // Before anything is opened: our own pipe or file must never stand in
    // for a closed standard input or output.
    vosk::platform::StandardStreamsReserve();
    Options options;
    std::string error;
    switch (ParseOptions(argc, argv, &options, &error)) {
        case ParseResult::kHelp:
            std::fputs(Usage(), stdout);
            return kExitOk;
        case ParseResult::kVersion:
            std::fputs(VersionLine().c_str(), stdout);
            return kExitOk;
        case ParseResult::kError:
            return Fail(error + " (see vosklog --help)");
        case ParseResult::kRun:
            break;
    }
    LogSettings settings;
    if (!ResolveSettings(options, &settings, &error)) {
        return Fail(error);
    }
    // Not refused: the log would raise it anyway; but never silently.
    const std::string notice = SizeLimitNotice(options, settings);
    if (!notice.empty()) {
        std::fprintf(stderr, "vosklog: %s\n", notice.c_str());
    }
    if (options.dryRun) {
        std::fputs(Describe(settings).c_str(), stdout);
        return kExitOk;
    }
    if (!PrepareDirectory(settings.directory, &error)) {
        return Fail(error);
    }
    if (!vosk::platform::StopRequestsCatch()) {
        return Fail("cannot catch stop requests");
    }
    InputEnd end;
    uint64_t unwritten = 0;
    {
        PipeLog log(options, settings.file);
        if (!log.Open(settings, &error)) {
            return Fail(error);
        }
        LineSplitter splitter(static_cast<size_t>(options.maxLine),
                              [&log](const LinePiece& piece) { log.WriteLine(piece); });
        end = PumpInput(splitter, [&log] { log.TakeRequests(); });
        log.Finish();
        unwritten = log.Unwritten();
    }  // the log is closed here, everything read written
    if (unwritten != 0) {
        std::fprintf(stderr,
                     "vosklog: stopped while %s could not be written: %llu lines not written\n",
                     settings.file.c_str(), static_cast<unsigned long long>(unwritten));
        return kExitNotWritten;
    }
    if (end == InputEnd::kError) {
        std::fputs("vosklog: standard input could not be read to its end\n", stderr);
        return kExitReadError;
    }
    return kExitOk;
}
