#include "api/LogRegistry.h"

#include <new>

#include "api/MaintenanceCommand.h"
#include "log/Log.h"
#include "threading/BlockingQueue.h"
#include "threading/WorkerThread.h"

namespace vosk {

LogRegistry::LogRegistry(MaintenanceHooks hooks, bool startThread) : hooks_(std::move(hooks)) {
    logs_ = new (std::nothrow) BlockingQueue<Log>();
    commands_ = new (std::nothrow) BlockingQueue<MaintenanceCommand>();
    diskLimit_ = kDefaultDiskLimit;
    if (startThread) {
        thread_ =
            new (std::nothrow) WorkerThread(&LogRegistry::MaintenanceRoutine, this, 0, nullptr);
        if (thread_ != nullptr) {
            thread_->Start();
        }
    }
}

LogRegistry::~LogRegistry() {
    if (!StopMaintenance()) {
        return;  // a thread that may still run keeps everything it can reach
    }
    // Every log syncs and closes its file; pending commands are dropped
    // without being carried out.
    delete logs_;
    logs_ = nullptr;
    delete commands_;
    commands_ = nullptr;
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
        Post(0, MaintenanceCommand::kDestroyLog);
        thread_->Stop();
    }
    if (!thread_->HasLeft()) {
        return false;
    }
    delete thread_;
    thread_ = nullptr;
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
    if (logs_ != nullptr) {
        logs_->VisitAll([waitMs](Log* log) { log->Close(waitMs); }, waitMs);
    }
}

void LogRegistry::ForkPrepare() {
    if (logs_ != nullptr) {
        logs_->ForkPrepare([](Log* log) { log->ForkPrepare(); });
    }
    if (commands_ != nullptr) {
        commands_->ForkPrepare([](MaintenanceCommand*) {});
    }
}

void LogRegistry::ForkParent() {
    if (commands_ != nullptr) {
        commands_->ForkParent([](MaintenanceCommand*) {});
    }
    if (logs_ != nullptr) {
        logs_->ForkParent([](Log* log) { log->ForkParent(); });
    }
}

void LogRegistry::ForkChild() {
    if (commands_ != nullptr) {
        commands_->ForkChild([](MaintenanceCommand*) {});
    }
    if (logs_ != nullptr) {
        logs_->ForkChild([](Log* log) { log->ForkChild(); });
    }
    if (thread_ == nullptr || closed_.load()) {
        return;
    }
    parentThread_ = thread_;
    thread_ = new (std::nothrow) WorkerThread(&LogRegistry::MaintenanceRoutine, this, 0, nullptr);
    if (thread_ != nullptr) {
        thread_->Start();
    }
}

LogEntry* LogRegistry::CreateLog(const char* directory, const char* name, int32_t sizeLimit,
                                 int32_t level) {
    if (logs_ == nullptr || closed_.load()) {
        return nullptr;
    }
    Log* log = new (std::nothrow) Log(1);
    if (log == nullptr) {
        return nullptr;
    }
    log->SetDirectory(directory);
    log->SetSizeLimit(sizeLimit);
    log->SetNameAndLevel(name, level);
    // Complete before it becomes visible to the maintenance thread.
    return logs_->Insert(log, static_cast<int32_t>(logs_->Count()));
}

void LogRegistry::Post(uintptr_t value, int32_t kind) {
    if (commands_ == nullptr) {
        return;
    }
    auto* command = new (std::nothrow) MaintenanceCommand(value, kind);
    if (command == nullptr) {
        return;
    }
    commands_->Insert(command, static_cast<int32_t>(commands_->Count()));
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
