#include "PipeLog.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "LevelPrefix.h"
#include "VOSK_Log.h"
#include "api/LogRegistry.h"
#include "log/Clock.h"
#include "log/Log.h"
#include "platform/Input.h"
#include "platform/Thread.h"
#include "threading/QueueEntry.h"

namespace vosklog {

namespace {

void ReportLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

PipeLog::PipeLog(const Options& options, const std::string& file)
    : raw_(options.raw),
      tee_(options.tee),
      guard_(file, options.dropWhenFull,
             WriteGuard::World{[] { return vosk::Clock::System()->MonotonicMs(); },
                               [](int ms) { vosk::platform::WaitForRequest(ms); },
                               [this] { TakeRequests(); },
                               [] { return vosk::platform::StopRequested(); }, ReportLine}) {
    if (!options.onRotate.empty()) {
        hook_.reset(new RotateHook(options.onRotate, ReportLine));
    }
}

PipeLog::~PipeLog() = default;

bool PipeLog::Open(const LogSettings& settings, std::string* error) {
    registry_.reset(new (std::nothrow) vosk::LogRegistry());
    vosk::LogEntry* entry = nullptr;
    if (registry_ != nullptr) {
        if (settings.diskLimit != vosk::LogRegistry::kDefaultDiskLimit) {
            registry_->SetLogDiskLimit(static_cast<uint32_t>(settings.diskLimit));
        }
        entry = registry_->CreateLog(settings.directory.c_str(), settings.name.c_str(),
                                     settings.sizeLimit, settings.level);
    }
    if (entry == nullptr || entry->payload == nullptr) {
        *error = "cannot set up the log (out of memory)";
        return false;
    }
    log_ = entry->payload;
    vosk::LogRegistry::SetArchive(entry, settings.keepDays);
    vosk::LogRegistry::SetOption(entry, SL_OPTION_STAMP, settings.stamp);
    vosk::LogRegistry::SetOption(entry, SL_OPTION_COMPRESS, settings.compress ? 1 : 0);
    // A line that failed is written again whole: nothing of it may stay.
    log_->SetTakeBack(true);
    // A line that failed is held and tried again, or dropped and counted on
    // standard error (WriteGuard): a gap record would count lines that are
    // written after all, or tell twice.
    log_->SetGapRecords(false);
    log_->SetRotationListener(hook_.get());
    pruneReporter_.reset(new (std::nothrow) PruneReporter(settings.directory, ReportLine));
    log_->SetPruneListener(pruneReporter_.get());
    return true;
}

void PipeLog::WriteLine(const LinePiece& piece) {
    // The prefix is in the first piece only, and counts for them all.
    size_t prefix = 0;
    if (!piece.continued) {
        lineLevel_ = 0;
        prefix = ParseLevelPrefix(piece.data, piece.length, &lineLevel_);
    }
    const char* text = piece.data + prefix;
    const size_t length = piece.length - prefix;
    // Stamped when read: a line held back keeps its time.
    vosk::platform::ZonedTime stamp;
    log_->StampNow(&stamp);
    guard_.Write(
        [&] { return log_->WriteDataAt(stamp, lineLevel_, text, length, raw_, piece.continued); });
    if (hook_ != nullptr) {
        hook_->Run();
    }
    if (tee_ && !vosk::platform::OutputWrite(piece.data, piece.length + piece.endLength)) {
        // A reader that went away ends the copies, not the log.
        tee_ = false;
        std::fputs("vosklog: standard output cannot be written; no more copies\n", stderr);
    }
}

void PipeLog::TakeRequests() {
    const int requests = vosk::platform::TakeRequests();
    if ((requests & vosk::platform::kRequestReopen) != 0) {
        log_->Reopen();
    }
    if ((requests & vosk::platform::kRequestRotate) != 0) {
        log_->RotateNow();
    }
    if (hook_ != nullptr) {
        hook_->Run();
    }
}

void PipeLog::Finish() {
    guard_.Finish();
    // What the archive kept last is compressed before the end, not at the
    // next start.
    log_->CompressArchive(false);
    if (hook_ != nullptr) {
        hook_->Finish([](int ms) { vosk::platform::SleepMs(ms); });
    }
}

}  // namespace vosklog
