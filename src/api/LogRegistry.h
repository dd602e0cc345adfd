#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <memory>

#include "api/MaintenanceHooks.h"
#include "log/RetireListener.h"

namespace vosk {

template <class T>
class BlockingQueue;
template <class T>
class QueueEntry;
class Log;
class WorkerThread;
struct MaintenanceCommand;
namespace test {
class LogRegistryTestPeer;
}

using LogEntry = QueueEntry<Log>;

// The process-wide owner of every log, the command queue and the
// maintenance thread. A LogHandle is the address of a log's entry in the
// registry of logs.
//
// The queues and the thread are built with the ordinary allocator: a
// registry that cannot have them is not made at all (the constructor
// throws, and the library's entry points turn that into "no registry").
class LogRegistry : private RetireListener {
  public:
    // Idle passes flush and check the logs once the loop has run this long.
    static constexpr int64_t kFlushAfterMs = 10000;
    static constexpr int32_t kDefaultDiskLimit = 800;
    // Day folders older than a log's archive days are looked for at the
    // first idle pass and this often after it.
    static constexpr int64_t kAgePruneEveryMs = 60000;

    // startThread false leaves the maintenance loop to the caller (tests
    // drive it turn by turn).
    explicit LogRegistry(MaintenanceHooks hooks = SystemMaintenanceHooks(),
                         bool startThread = true);
    virtual ~LogRegistry();
    LogRegistry(const LogRegistry&) = delete;
    LogRegistry& operator=(const LogRegistry&) = delete;

    LogEntry* CreateLog(const char* directory, const char* name, int32_t sizeLimit, int32_t level);
    void DestroyLog(LogEntry* handle);
    void SetLogDiskLimit(uint32_t limit);
    // The disk limit that SetLogDiskLimit makes of a limit: 200 to 950.
    static int32_t ClampedDiskLimit(uint32_t limit);
    static void ChangeLevel(LogEntry* handle, int32_t level);
    static void SetArchive(LogEntry* handle, int32_t keepDays);
    // SL_SetLogOption: 0 when set, else a negative OptionResult and
    // nothing changed.
    static int32_t SetOption(LogEntry* handle, int32_t option, int32_t value);
    // callerErrno: errno when the exported call began, for %m.
    static void PrintLog(LogEntry* handle, int32_t level, const char* format, va_list args,
                         int callerErrno);
    static void WriteLog(LogEntry* handle, const char* text);

    // Stops the maintenance thread and waits until it has left the
    // library's code. False when it had to be terminated and has not ended:
    // the registry, its logs and queues must then stay in memory (the
    // destructor leaves them), since the thread may still use them.
    bool StopMaintenance();
    // At process exit, while host threads may still call (POSIX) or after
    // the system ended them wherever they stood (Windows, threadsGone):
    // stops the maintenance thread, writes out and closes every log, and
    // leaves all memory in place, so that a call arriving during or after
    // this finds valid objects and is dropped. No log is created after it.
    void CloseAtExit(bool threadsGone);

    // Around a fork: every lock of the registry and its logs is held across
    // it; the parent releases them, the child makes them fresh and starts a
    // maintenance thread of its own (the parent's does not exist there).
    void ForkPrepare();
    void ForkParent();
    void ForkChild();

  private:
    // Tests drive the maintenance loop turn by turn and look at its state.
    friend class test::LogRegistryTestPeer;

    // The maintenance loop (see Maintenance.cpp).
    static int32_t MaintenanceRoutine(void* registry);
    int32_t MaintenanceLoop();
    // One turn: carries out one command, or runs one idle pass when none
    // arrived within the idle wait.
    void MaintenanceTurn();
    void IdleHousekeeping();
    // True once the maintenance thread has been asked to stop.
    bool Stopping() const;
    // True when the disk that holds directory is used beyond the disk limit.
    // use: the disk's use and the limit, when known.
    bool DiskOverLimit(const char* directory, DiskUse* use);
    void HandleDestroyCommand(uintptr_t handle);

    void Post(uintptr_t value, int32_t kind);
    // A log moved an old backup aside: the maintenance thread is woken to
    // delete it, one command however many logs rotate meanwhile.
    void OnRetired() override;
    // Deletes what every log has moved aside.
    void DeleteRetired();
    int64_t ElapsedMs() const;

    // Declared in the order of teardown, last first: the thread stops
    // before the logs it walks are destroyed, and pending commands are
    // dropped last, without being carried out.
    std::unique_ptr<BlockingQueue<MaintenanceCommand>> commands_;
    std::unique_ptr<BlockingQueue<Log>> logs_;
    std::unique_ptr<WorkerThread> thread_;  // null when the caller drives the loop
    // The parent's maintenance thread in a forked child: its objects may be
    // in any state, so they are kept, never used or destroyed (not owned).
    WorkerThread* parentThread_ = nullptr;
    bool loopStarted_ = false;
    int64_t startMs_ = 0;
    // When the idle pass last looked for day folders past their age; -1
    // before the first look.
    int64_t agePruneMs_ = -1;
    int32_t diskLimit_ = kDefaultDiskLimit;
    MaintenanceHooks hooks_;
    // Set by CloseAtExit when the system has ended the maintenance thread
    // already: stopping it must then not wait for it.
    bool abandonThread_ = false;
    std::atomic<bool> closed_{false};
    // A kDeleteRetired command is posted and not yet carried out.
    std::atomic<bool> deletePosted_{false};
};

}  // namespace vosk
