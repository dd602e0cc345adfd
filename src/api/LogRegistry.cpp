#include "api/LogRegistry.h"

#include <memory>

#include "api/LogOptions.h"
#include "api/MaintenanceCommand.h"
#include "log/Log.h"
#include "platform/CatchAll.h"
#include "platform/Files.h"
#include "threading/BlockingQueue.h"
#include "threading/WorkerThread.h"

namespace vosk {

LogRegistry::LogRegistry(MaintenanceHooks hooks, bool startThread)
    : commands_(std::make_unique<BlockingQueue<MaintenanceCommand>>()),
      logs_(std::make_unique<BlockingQueue<Log>>()),
      hooks_(std::move(hooks)) {
    if (startThread) {
        thread_ = std::make_unique<WorkerThread>(&LogRegistry::MaintenanceRoutine, this,
                                                 WorkerThread::StartAs::kHeld, nullptr);
        thread_->Start();
    }
}

LogRegistry::~LogRegistry() {
    if (!StopMaintenance()) {
        // A thread that may still run keeps everything it can reach.
        (void)thread_.release();
        (void)logs_.release();
        (void)commands_.release();
    }
    // Otherwise the members go in reverse order: every log syncs and closes
    // its file, then pending commands are dropped without being carried out.
}

bool LogRegistry::StopMaintenance() {
    if (thread_ == nullptr) {
        return true;
    }
    if (abandonThread_) {
        thread_->Abandon();
    } else {
        // Wake the loop instead of letting its wait for a command run
        // out: unloading must not keep the host waiting.
        thread_->RequestStop();
        commands_->Wake();
        thread_->Stop();
    }
    if (!thread_->HasLeft()) {
        return false;
    }
    thread_.reset();
    return true;
}

void LogRegistry::CloseAtExit(bool threadsGone) {
    // A writer in the middle of a record lets go within microseconds; one
    // that hangs in a write, or that the system ended holding the lock, is
    // passed over (what it returned is in the file already).
    constexpr int32_t kWriterWaitMs = 100;
    const int32_t waitMs = threadsGone ? 0 : kWriterWaitMs;
    closed_.store(true);
    if (threadsGone) {
        abandonThread_ = true;
    }
    StopMaintenance();
    logs_->VisitAll([waitMs](Log* log) { log->Close(waitMs); }, waitMs);
}

void LogRegistry::ForkPrepare() {
    logs_->ForkPrepare([](Log* log) { log->ForkPrepare(); });
    commands_->ForkPrepare([](MaintenanceCommand*) {});
}

void LogRegistry::ForkParent() {
    commands_->ForkParent([](MaintenanceCommand*) {});
    logs_->ForkParent([](Log* log) { log->ForkParent(); });
}

void LogRegistry::ForkChild() {
    commands_->ForkChild([](MaintenanceCommand*) {});
    logs_->ForkChild([](Log* log) { log->ForkChild(); });
    if (thread_ == nullptr || closed_.load()) {
        return;
    }
    parentThread_ = thread_.release();
    thread_ = std::make_unique<WorkerThread>(&LogRegistry::MaintenanceRoutine, this,
                                             WorkerThread::StartAs::kHeld, nullptr);
    thread_->Start();
}

LogEntry* LogRegistry::CreateLog(const char* directory, const char* name, int32_t sizeLimit,
                                 int32_t level) {
    if (closed_.load()) {
        return nullptr;
    }
    auto log = std::make_unique<Log>();
    // The host's text, converted once into the form the library's paths hold.
    if (directory != nullptr) {
        log->SetDirectory(platform::PathFromHostText(directory).c_str());
    }
    log->SetSizeLimit(sizeLimit);
    log->SetNameAndLevel(name == nullptr ? nullptr : platform::PathFromHostText(name).c_str(),
                         level);
    log->SetRetireListener(this);
    // Complete before it becomes visible to the maintenance thread.
    return logs_->Insert(std::move(log), static_cast<int32_t>(logs_->Count()));
}

void LogRegistry::Post(uintptr_t value, int32_t kind) {
    commands_->Insert(std::make_unique<MaintenanceCommand>(value, kind),
                      static_cast<int32_t>(commands_->Count()));
}

void LogRegistry::OnRetired() {
    if (deletePosted_.exchange(true)) {
        return;
    }
    // Without memory for the command, the next idle pass deletes it.
    platform::CatchAll([&] { Post(0, MaintenanceCommand::kDeleteRetired); });
}

void LogRegistry::DestroyLog(LogEntry* handle) {
    Post(reinterpret_cast<uintptr_t>(handle), MaintenanceCommand::kDestroyLog);
}

int32_t LogRegistry::ClampedDiskLimit(uint32_t limit) {
    if (limit < 200) {
        return 200;
    }
    return limit > 950 ? 950 : static_cast<int32_t>(limit);
}

void LogRegistry::SetLogDiskLimit(uint32_t limit) {
    Post(static_cast<uintptr_t>(ClampedDiskLimit(limit)), MaintenanceCommand::kSetDiskLimit);
}

static Log* LogOf(LogEntry* handle) {
    return handle == nullptr ? nullptr : handle->payload;
}

void LogRegistry::ChangeLevel(LogEntry* handle, int32_t level) {
    if (Log* log = LogOf(handle)) {
        log->SetLevel(level);
    }
}

void LogRegistry::SetArchive(LogEntry* handle, int32_t keepDays) {
    if (Log* log = LogOf(handle)) {
        log->SetArchive(keepDays);
    }
}

int32_t LogRegistry::SetOption(LogEntry* handle, int32_t option, int32_t value) {
    return static_cast<int32_t>(SetLogOption(LogOf(handle), option, value));
}

void LogRegistry::PrintLog(LogEntry* handle, int32_t level, const char* format, va_list args,
                           int callerErrno) {
    if (Log* log = LogOf(handle)) {
        log->WriteRecord(level, format, args, callerErrno);
    }
}

void LogRegistry::WriteLog(LogEntry* handle, const char* text) {
    if (Log* log = LogOf(handle)) {
        log->WriteRaw(text);
    }
}

}  // namespace vosk
