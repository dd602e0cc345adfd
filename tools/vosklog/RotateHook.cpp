#include "RotateHook.h"

#include <cstring>
#include <new>
#include <utility>

namespace vosklog {

RotateHook::RotateHook(std::string command, Report report)
    : command_(std::move(command)), report_(std::move(report)) {}

void RotateHook::OnRotated(const char* movedTo) {
    std::lock_guard<std::mutex> guard(movesLock_);
    try {
        moves_.emplace_back(movedTo);
    } catch (const std::bad_alloc&) {
        ++skipped_;
    }
}

void RotateHook::Reap() {
    if (child_.handle == -1) {
        return;
    }
    int code = 0;
    switch (vosk::platform::ProcessPoll(&child_, &code)) {
        case vosk::platform::ProcessState::kRunning:
            return;
        case vosk::platform::ProcessState::kKilled:
            report_("vosklog: --on-rotate command for " + childPath_ + " killed by signal " +
                    std::to_string(code));
            return;
        case vosk::platform::ProcessState::kExited:
            if (code != 0) {
                report_("vosklog: --on-rotate command for " + childPath_ + " exited with " +
                        std::to_string(code));
            }
            return;
    }
}

void RotateHook::Run() {
    Reap();
    std::vector<std::string> moves;
    {
        std::lock_guard<std::mutex> guard(movesLock_);
        moves.swap(moves_);
    }
    for (const std::string& path : moves) {
        if (child_.handle != -1) {
            ++skipped_;
            report_("vosklog: --on-rotate command for " + childPath_ +
                    " still running; not run for " + path);
            continue;
        }
        int error = 0;
        if (!vosk::platform::ProcessStart(command_.c_str(), path.c_str(), &child_, &error)) {
            report_("vosklog: cannot start --on-rotate command for " + path + ": " +
                    std::strerror(error));
            continue;
        }
        ++started_;
        childPath_ = path;
        // A command that ends at once is reported with its move.
        Reap();
    }
}

void RotateHook::Finish(const std::function<void(int ms)>& wait) {
    Run();
    constexpr int kStepMs = 10;
    for (int waited = 0; child_.handle != -1 && waited < kEndGraceMs; waited += kStepMs) {
        wait(kStepMs);
        Reap();
    }
    if (child_.handle != -1) {
        report_("vosklog: --on-rotate command for " + childPath_ + " still running; left to run");
    }
}

}  // namespace vosklog
