#include "platform/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

extern char** environ;

namespace vosk::platform {

namespace {

// Signals this program catches or ignores: the command starts with them
// as a fresh process has them (an ignored SIGPIPE would stay ignored).
constexpr int kResetSignals[] = {SIGPIPE, SIGXFSZ, SIGHUP, SIGALRM,
                                 SIGUSR1, SIGUSR2, SIGINT, SIGTERM};

class SpawnSetup {
  public:
    SpawnSetup() {
        okActions_ = posix_spawn_file_actions_init(&actions_) == 0;
        okAttributes_ = posix_spawnattr_init(&attributes_) == 0;
    }
    ~SpawnSetup() {
        if (okActions_) {
            posix_spawn_file_actions_destroy(&actions_);
        }
        if (okAttributes_) {
            posix_spawnattr_destroy(&attributes_);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // 0 or an errno.
    int Prepare() {
        if (!okActions_ || !okAttributes_) {
            return ENOMEM;
        }
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : kResetSignals) {
            sigaddset(&defaults, signal);
        }
        sigset_t none;
        sigemptyset(&none);
        int result =
            posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (result == 0) {
            result = posix_spawn_file_actions_adddup2(&actions_, STDERR_FILENO, STDOUT_FILENO);
        }
        if (result == 0) {
            result = posix_spawnattr_setsigdefault(&attributes_, &defaults);
        }
        if (result == 0) {
            result = posix_spawnattr_setsigmask(&attributes_, &none);
        }
        if (result == 0) {
            result = posix_spawnattr_setflags(&attributes_,
                                              POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        }
        return result;
    }
    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

  private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
    bool okActions_ = false;
    bool okAttributes_ = false;
};

}  // namespace

bool ProcessStart(const char* command, const char* argument, ChildProcess* child, int* error) {
    SpawnSetup setup;
    int result = setup.Prepare();
    if (result == 0) {
        // The argument reaches the command as "$1", never read by the shell.
        char shell[] = "/bin/sh";
        char dashC[] = "-c";
        char name[] = "vosklog-command";
        std::string script = std::string(command) + " \"$1\"";
        std::string path = argument;
        char* argv[] = {shell, dashC, script.data(), name, path.data(), nullptr};
        pid_t pid = -1;
        result = posix_spawn(&pid, shell, setup.Actions(), setup.Attributes(), argv, environ);
        if (result == 0) {
            child->handle = pid;
            return true;
        }
    }
    *error = result;
    return false;
}

ProcessState ProcessPoll(ChildProcess* child, int* code) {
    if (child->handle < 0) {
        *code = 0;
        return ProcessState::kExited;
    }
    int status = 0;
    pid_t done;
    do {
        done = waitpid(static_cast<pid_t>(child->handle), &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) {
        return ProcessState::kRunning;
    }
    child->handle = -1;
    if (done < 0) {
        *code = -1;
        return ProcessState::kExited;
    }
    if (WIFSIGNALED(status)) {
        *code = WTERMSIG(status);
        return ProcessState::kKilled;
    }
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ProcessState::kExited;
}

}  // namespace vosk::platform
