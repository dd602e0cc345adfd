// The maintenance thread: carries out posted commands in order and, after
// every idle wait, flushes logs and prunes archives when the disk is full.
#include <ctime>
#include <memory>

#include "api/LogRegistry.h"
#include "api/MaintenanceCommand.h"
#include "log/ArchiveCleanup.h"
#include "log/Clock.h"
#include "log/Log.h"
#include "platform/CatchAll.h"
#include "platform/Disk.h"
#include "platform/Thread.h"
#include "platform/Time.h"
#include "text/StringBuffer.h"
#include "threading/BlockingQueue.h"
#include "threading/WorkerThread.h"

namespace vosk {

MaintenanceHooks SystemMaintenanceHooks() {
    MaintenanceHooks hooks;
    hooks.diskClusters = &platform::DiskClusters;
    hooks.pruneArchive = [](const char* directory, const platform::HeldDirectory* held, time_t t,
                            const DiskUse& use) {
        // A log that has not opened its file yet holds nothing: its
        // directory is taken as the path names it now, as its first record
        // will.
        platform::HeldDirectoryPtr byPath(held == nullptr ? platform::DirectoryHold(directory)
                                                          : nullptr);
        return PruneOldestArchive(held != nullptr ? held : byPath.get(), t, use);
    };
    return hooks;
}

int64_t LogRegistry::ElapsedMs() const {
    Clock* clock = hooks_.clock != nullptr ? hooks_.clock : Clock::System();
    return clock->MonotonicMs();
}

int32_t LogRegistry::MaintenanceRoutine(void* registry) {
    return static_cast<LogRegistry*>(registry)->MaintenanceLoop();
}

int32_t LogRegistry::MaintenanceLoop() {
    // The writers wake this thread at every rotation (see OnRetired); it
    // must not take their processor from them there.
    platform::CurrentThreadYieldsOnWake();
    // A forked child's loop goes on from the parent's start (the monotonic
    // clock is the system's, the same in both).
    if (!loopStarted_) {
        loopStarted_ = true;
        startMs_ = ElapsedMs();
    }
    while (thread_ != nullptr && thread_->IsRunning()) {
        MaintenanceTurn();
    }
    return 0;
}

void LogRegistry::MaintenanceTurn() {
    std::unique_ptr<QueueEntry<MaintenanceCommand>> entry = commands_->Take(0, hooks_.idleWaitMs);
    if (entry == nullptr) {
        // A stop request wakes the wait; don't start a pass on the way out.
        if (!Stopping()) {
            IdleHousekeeping();
        }
        return;
    }
    MaintenanceCommand* command = entry->payload;
    if (command != nullptr) {
        if (command->kind == MaintenanceCommand::kSetDiskLimit) {
            diskLimit_ = static_cast<int32_t>(command->value);
        } else if (command->kind == MaintenanceCommand::kDestroyLog) {
            HandleDestroyCommand(command->value);
        } else if (command->kind == MaintenanceCommand::kDeleteRetired) {
            deletePosted_.store(false);
            DeleteRetired();
        }
    }
}

void LogRegistry::HandleDestroyCommand(uintptr_t handle) {
    if (handle == 0) {
        return;
    }
    // Unlinks the entry under the registry's lock and destroys the log,
    // which writes out what it holds and closes its file.
    std::unique_ptr<LogEntry> entry(reinterpret_cast<LogEntry*>(handle));
    platform::CatchAll([&entry] { entry.reset(); });
}

bool LogRegistry::DiskOverLimit(const char* directory, DiskUse* use) {
    uint32_t freeClusters = 0;
    uint32_t totalClusters = 0;
    // An unknown figure is no reason to delete anything: skip the test.
    if (!hooks_.diskClusters || !hooks_.diskClusters(directory, &freeClusters, &totalClusters)) {
        return false;
    }
    if (totalClusters == 0) {
        totalClusters = 100;
    }
    // In whole numbers, so that the test and the figure reported agree: the
    // use is over the limit exactly when the figure, rounded up, is.
    const uint64_t total = totalClusters;
    const uint64_t used = freeClusters < totalClusters ? total - freeClusters : 0;
    use->usedPerMille = static_cast<int32_t>((used * 1000 + total - 1) / total);
    use->limitPerMille = diskLimit_;
    return used * 1000 > static_cast<uint64_t>(diskLimit_) * total;
}

void LogRegistry::DeleteRetired() {
    for (LogEntry* e = logs_->Peek(0, 0); e != nullptr; e = logs_->Next(e)) {
        e->payload->DeleteRetired();
    }
}

bool LogRegistry::Stopping() const {
    return thread_ != nullptr && !thread_->IsRunning();
}

// A stop request ends the pass between two logs' steps: an unload then
// waits for one step at most, not for a pass over every log, which a slow
// disk can make long.
void LogRegistry::IdleHousekeeping() {
    if (hooks_.pruneArchive) {
        StringBuffer previous;
        for (LogEntry* e = logs_->Peek(0, 0); e != nullptr && !Stopping(); e = logs_->Next(e)) {
            Log::Directory current = e->payload->GetDirectory();
            // Consecutive logs in one directory make one test of the disk
            // that holds it, and one call.
            if (previous != current.path) {
                previous.Assign(current.path.CStr());
                DiskUse use;
                // Told in the log whose turn it was: the first of the run.
                if (DiskOverLimit(previous.CStr(), &use)) {
                    e->payload->TellPruned(hooks_.pruneArchive(previous.CStr(), current.held.get(),
                                                               current.lastWrite, use));
                }
            }
        }
    }
    // A file that another program moved, removed or cut short is followed
    // from the first pass: a rotation tool may act at any moment after start.
    for (LogEntry* e = logs_->Peek(0, 0); e != nullptr && !Stopping(); e = logs_->Next(e)) {
        Log* log = e->payload;
        log->ReopenIfMoved();
        log->FollowTruncation();
        // Left by a crash, or by a wake-up that found no memory.
        log->DeleteRetired();
    }
    // The sweep for files a stop left plain goes with the age prune.
    const bool sweep = agePruneMs_ < 0 || ElapsedMs() - agePruneMs_ >= kAgePruneEveryMs;
    if (sweep) {
        agePruneMs_ = ElapsedMs();
        for (LogEntry* e = logs_->Peek(0, 0); e != nullptr && !Stopping(); e = logs_->Next(e)) {
            e->payload->TellPruned(e->payload->PruneArchiveByAge());
        }
    }
    // Here rather than on a writer's path: compressing takes time.
    for (LogEntry* e = logs_->Peek(0, 0); e != nullptr; e = logs_->Next(e)) {
        e->payload->CompressArchive(sweep);
    }
    // Measured on the monotonic clock: a wall clock stepped back must not
    // hold flushing and rotation off until it has caught up again.
    if (ElapsedMs() - startMs_ >= kFlushAfterMs) {
        for (LogEntry* e = logs_->Peek(0, 0); e != nullptr && !Stopping(); e = logs_->Next(e)) {
            Log* log = e->payload;
            log->Flush();
            log->CheckRotation();
        }
    }
}

}  // namespace vosk
