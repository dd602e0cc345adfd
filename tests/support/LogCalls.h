// Calls into a log the way the exported functions make them, for tests
// that build logs and registries of their own.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "api/LogRegistry.h"
#include "log/Log.h"

namespace vosk::test {

// A log set up as the registry sets one up, written at level 0 and below.
inline std::unique_ptr<Log> MakeLog(const std::filesystem::path& directory,
                                    const char* name = "app.log") {
    auto log = std::make_unique<Log>();
    log->SetDirectory(directory.generic_string().c_str());
    log->SetSizeLimit(0);
    log->SetNameAndLevel(name, 0);
    return log;
}

// One record, as SL_TraceLog writes it through a handle.
inline void Trace(LogEntry* log, int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogRegistry::PrintLog(log, level, format, args, errno);
    va_end(args);
}

// One record straight into a log.
inline void Trace(Log& log, int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    log.WriteRecord(level, format, args);
    va_end(args);
}

}  // namespace vosk::test
