// The nine exported functions and the one registry behind them.
#include <cerrno>
#include <cstdarg>
#include <memory>
#include <utility>

#include "VOSK_Log.h"
#include "api/LogPurge.h"
#include "api/LogRegistry.h"
#include "log/Log.h"
#include "platform/CatchAll.h"
#include "platform/LibraryEntry.h"
#include "platform/Thread.h"
#include "threading/QueueEntry.h"

namespace vosk {
namespace {

// The one registry, owned by the load and unload notifications below. A
// plain pointer on purpose: no static destructor may free it at process
// exit, where host threads may still be inside a log.
LogRegistry* registry = nullptr;

LogEntry* EntryOf(LogHandle handle) {
    return reinterpret_cast<LogEntry*>(handle);
}

// The level test before anything else, so that a record the threshold
// drops costs two loads and a comparison: no argument list, no further call.
bool Accepts(LogHandle handle, int level) {
    LogEntry* entry = EntryOf(handle);
    return entry != nullptr && entry->payload != nullptr && entry->payload->Accepts(level);
}

}  // namespace

void OnLibraryAttach() {
    if (registry == nullptr) {
        // Without its queues and thread the library loads but does nothing:
        // every call finds no registry.
        platform::CatchAll([] { registry = new LogRegistry(); });
    }
    PurgeOldLogs();
}

void OnLibraryDetach(bool processExiting) {
    if (registry == nullptr) {
        return;
    }
    if (processExiting) {
        // Host threads may still be inside a log, or arrive later: close the
        // logs, keep the memory (the process ends anyway).
        registry->CloseAtExit(platform::ThreadsEndBeforeExitHooks());
        return;
    }
    // An explicit unload: no host thread may call any more (the header
    // says so). A maintenance thread that was terminated and never ended
    // may still use the registry: leave it in memory rather than free it.
    std::unique_ptr<LogRegistry> owned(std::exchange(registry, nullptr));
    if (!owned->StopMaintenance()) {
        (void)owned.release();
    }
}

void OnForkPrepare() {
    if (registry != nullptr) {
        registry->ForkPrepare();
    }
}

void OnForkParent() {
    if (registry != nullptr) {
        registry->ForkParent();
    }
}

void OnForkChild() {
    if (registry != nullptr) {
        // No memory for the child's maintenance thread: the logs still
        // write; nothing is carried out in the background.
        platform::CatchAll([] { registry->ForkChild(); });
    }
}

}  // namespace vosk

using vosk::registry;

extern "C" {

LogHandle SL_CreateLog(const char* directory, const char* name, int sizeLimit, int level) {
    if (registry == nullptr) {
        return nullptr;
    }
    LogHandle handle = nullptr;
    vosk::platform::CatchAll([&] {
        handle =
            reinterpret_cast<LogHandle>(registry->CreateLog(directory, name, sizeLimit, level));
    });
    return handle;
}

void SL_DestroyLog(LogHandle log) {
    if (registry == nullptr) {
        return;
    }
    // Without memory for the command the log stays.
    vosk::platform::CatchAll([log] { registry->DestroyLog(vosk::EntryOf(log)); });
}

void SL_ChangeLevel(LogHandle log, int level) {
    vosk::LogRegistry::ChangeLevel(vosk::EntryOf(log), level);
}

void SL_SetLogArchive(LogHandle log, int keepDays) {
    vosk::LogRegistry::SetArchive(vosk::EntryOf(log), keepDays);
}

int SL_SetLogOption(LogHandle log, int option, int value) {
    return vosk::LogRegistry::SetOption(vosk::EntryOf(log), option, value);
}

// errno is read first: %m reports the caller's, not what opening or
// rotating the file leaves behind.
void SL_Print(LogHandle log, int level, const char* format, va_list args) {
    const int callerErrno = errno;
    vosk::LogRegistry::PrintLog(vosk::EntryOf(log), level, format, args, callerErrno);
}

void SL_TraceLog(LogHandle log, int level, const char* format, ...) {
    // The level test reads memory only and leaves errno alone, so a dropped
    // record need not fetch it.
    if (!vosk::Accepts(log, level)) {
        return;
    }
    const int callerErrno = errno;
    va_list args;
    va_start(args, format);
    vosk::LogRegistry::PrintLog(vosk::EntryOf(log), level, format, args, callerErrno);
    va_end(args);
}

void SL_Write(LogHandle log, const char* text) {
    vosk::LogRegistry::WriteLog(vosk::EntryOf(log), text);
}

void SL_SetLogDiskLimit(unsigned int limit) {
    if (registry == nullptr) {
        return;
    }
    // Without memory for the command the limit stays.
    vosk::platform::CatchAll([limit] { registry->SetLogDiskLimit(limit); });
}

}  // extern "C"
