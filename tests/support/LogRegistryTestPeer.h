// What tests may do to a registry beyond its public interface: drive its
// maintenance loop turn by turn and look at the state the loop keeps.
#pragma once

#include <cstdint>

#include "api/LogRegistry.h"
#include "api/MaintenanceCommand.h"
#include "log/Log.h"
#include "threading/BlockingQueue.h"

namespace vosk::test {

class LogRegistryTestPeer {
  public:
    // One turn of the loop: one command, or an idle pass when none comes.
    static void Turn(LogRegistry& registry) { registry.MaintenanceTurn(); }
    // Runs turns until every command posted so far is carried out.
    static void RunCommands(LogRegistry& registry) {
        while (registry.commands_->Count() > 0) {
            registry.MaintenanceTurn();
        }
    }
    static void IdlePass(LogRegistry& registry) { registry.IdleHousekeeping(); }
    static int32_t DiskLimit(const LogRegistry& registry) { return registry.diskLimit_; }
    static BlockingQueue<Log>& Logs(const LogRegistry& registry) { return *registry.logs_; }
    // The monotonic milliseconds (Clock::MonotonicMs) at which the loop began.
    static void SetStartTime(LogRegistry& registry, int64_t monotonicMs) {
        registry.startMs_ = monotonicMs;
    }
};

}  // namespace vosk::test
