// A program the tests start as a process of its own, as its users do:
// standard output and error to files, standard input from a pipe the test
// writes, ended by its pid. POSIX only.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace vosk::test {

namespace fs = std::filesystem;

// A child process with standard output and error in files (empty: kept),
// standard input from a pipe the test writes (when asked for).
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& argv, const fs::path& out = {},
               const fs::path& err = {}, bool withInput = false) {
        int fds[2] = {-1, -1};
        if (withInput && pipe2(fds, O_CLOEXEC) != 0) {
            return false;
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        const std::string outPath = out.string();
        const std::string errPath = err.string();
        pid_ = fork();
        if (pid_ == 0) {
            if (withInput) {
                dup2(fds[0], STDIN_FILENO);
            }
            if (!outPath.empty()) {
                int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                dup2(fd, STDOUT_FILENO);
            }
            if (!errPath.empty()) {
                int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                dup2(fd, STDERR_FILENO);
            }
            execv(args[0], args.data());
            _exit(127);
        }
        if (withInput) {
            close(fds[0]);
            input_ = fds[1];
        }
        return pid_ > 0;
    }

    pid_t Pid() const { return pid_; }

    bool Write(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(input_, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    void CloseInput() {
        if (input_ >= 0) {
            close(input_);
            input_ = -1;
        }
    }
    // Its exit status once it ended (the input closed first).
    int Wait() {
        CloseInput();
        int status = -1;
        if (pid_ > 0) {
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        return status;
    }
    int Stop(int signal = SIGTERM) {
        if (pid_ > 0) {
            kill(pid_, signal);
        }
        return Wait();
    }

  private:
    void Kill() {
        CloseInput();
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    int input_ = -1;
};

// Runs a program to its end; its exit status.
inline int RunProgram(const std::vector<std::string>& argv, const fs::path& out = {},
                      const fs::path& err = {}) {
    ChildProcess child;
    if (!child.Start(argv, out, err)) {
        return -1;
    }
    return child.Wait();
}

}  // namespace vosk::test
