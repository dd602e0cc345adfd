// vosklog as a process of its own, fed through a pipe that the test
// writes, its standard error in a file: for what only shows while it runs
// (signals, a disk that fills, commands it starts).
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/RecordLines.h"
#include "support/Stopwatch.h"
#include "support/TempDir.h"

namespace vosklog::test {

class RunningTool {
  public:
    // fileSizeLimit > 0: the program starts with that soft RLIMIT_FSIZE.
    RunningTool(const std::vector<std::string>& arguments, const std::filesystem::path& errFile,
                rlim_t fileSizeLimit = 0) {
        signal(SIGPIPE, SIG_IGN);
        int fds[2];
        if (pipe(fds) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        std::vector<std::string> args = {VOSKLOG_PROGRAM};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const std::string err = errFile.string();
        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls until exec.
            int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (errFd < 0 || dup2(fds[0], STDIN_FILENO) < 0 || dup2(errFd, STDERR_FILENO) < 0) {
                _exit(126);
            }
            if (fileSizeLimit > 0) {
                struct rlimit limit;
                getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur = fileSizeLimit;
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                    _exit(125);
                }
            }
            close(fds[0]);
            close(fds[1]);
            close(errFd);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[0]);
        pipe_ = fds[1];
        EXPECT_GT(pid_, 0);
    }
    ~RunningTool() {
        if (pipe_ >= 0) {
            close(pipe_);
        }
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    pid_t Pid() const { return pid_; }

    // Writes all of text, waiting while the pipe is full.
    bool Write(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(pipe_, text.data() + done, text.size() - done);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // Writes without waiting: the bytes the pipe took.
    size_t WriteSome(const std::string& text) {
        fcntl(pipe_, F_SETFL, fcntl(pipe_, F_GETFL) | O_NONBLOCK);
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(pipe_, text.data() + done, text.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        fcntl(pipe_, F_SETFL, fcntl(pipe_, F_GETFL) & ~O_NONBLOCK);
        return done;
    }
    void CloseInput() {
        close(pipe_);
        pipe_ = -1;
    }
    bool Signal(int signal) { return kill(pid_, signal) == 0; }
    // The exit status, or -1 when the program did not end in time.
    int Wait(int64_t limitMs = 10000) {
        int status = -1;
        bool ended = vosk::test::Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                                            limitMs);
        if (!ended) {
            return -1;
        }
        pid_ = -1;
        return status;
    }

  private:
    pid_t pid_ = -1;
    int pipe_ = -1;
};

// The records' messages of a file, stamps taken off.
inline std::vector<std::string> Messages(const std::filesystem::path& file) {
    std::vector<std::string> messages;
    for (const std::string& line : vosk::test::SplitLines(vosk::test::ReadBytes(file)).lines) {
        messages.push_back(
            line.size() >= vosk::test::kStampLength ? line.substr(vosk::test::kStampLength) : line);
    }
    return messages;
}

}  // namespace vosklog::test
