#include "PipeLog.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "LevelPrefix.h"
#include "api/LogRegistry.h"
#include "log/Log.h"
#include "platform/Input.h"
#include "threading/QueueEntry.h"

namespace vosklog {

PipeLog::PipeLog(bool raw, bool tee) : raw_(raw), tee_(tee) {}

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
    return true;
}

void PipeLog::WriteLine(const char* line, size_t length, size_t endLength) {
    int32_t level = 0;
    const size_t prefix = ParseLevelPrefix(line, length, &level);
    log_->WriteData(level, line + prefix, length - prefix, raw_);
    if (tee_ && !vosk::platform::OutputWrite(line, length + endLength)) {
        // A reader that went away ends the copies, not the log.
        tee_ = false;
        std::fputs("vosklog: standard output cannot be written; no more copies\n", stderr);
    }
}

}  // namespace vosklog
