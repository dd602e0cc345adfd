// Standard input until it ends or a signal asks the program to stop. The
// handler only sets a flag and writes to a pipe of our own: a read waits in
// poll() on both, so a signal that comes just before the wait still ends it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Input.h"

namespace vosk::platform {

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t reopenRequested = 0;
volatile sig_atomic_t rotateRequested = 0;
int wakeRead = -1;
int wakeWrite = -1;
// What the input held when the stop was noticed; -1 before.
long long drainLeft = -1;
// A non-blocking descriptor that has nothing yet.
constexpr long kNothingYet = -3;

void Wake() {
    if (wakeWrite >= 0) {
        ssize_t ignored = write(wakeWrite, "s", 1);
        static_cast<void>(ignored);
    }
}

void OnStopSignal(int) {
    int saved = errno;
    stopRequested = 1;
    Wake();
    errno = saved;
}

void OnRequestSignal(int signal) {
    int saved = errno;
    if (signal == SIGHUP) {
        reopenRequested = 1;
    } else {
        rotateRequested = 1;
    }
    Wake();
    errno = saved;
}

// Caught rather than ignored: an ignored signal stays ignored in the
// programs that a process starts.
void OnQuietSignal(int) {}

bool RequestPending() {
    return reopenRequested != 0 || rotateRequested != 0;
}

void DrainWakePipe() {
    char bytes[64];
    while (wakeRead >= 0 && read(wakeRead, bytes, sizeof(bytes)) > 0) {
    }
}

bool Catch(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(signal, &action, nullptr) == 0;
}

bool OpenWakePipe() {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    for (int fd : fds) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    wakeRead = fds[0];
    wakeWrite = fds[1];
    return true;
}

// Bytes a pipe or socket on standard input holds; 0 for anything else, so
// that a stop ends a read from a file or a terminal at once.
long long InputPending() {
    struct stat st;
    if (fstat(STDIN_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        return 0;
    }
    int pending = 0;
    if (ioctl(STDIN_FILENO, FIONREAD, &pending) != 0 || pending < 0) {
        return 0;
    }
    return pending;
}

long ReadOnce(char* buffer, size_t size) {
    for (;;) {
        ssize_t n = read(STDIN_FILENO, buffer, size);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno != EINTR) {
            return errno == EAGAIN || errno == EWOULDBLOCK ? kNothingYet : kInputError;
        }
    }
}

long Drain(char* buffer, size_t size) {
    if (drainLeft < 0) {
        drainLeft = InputPending();
    }
    if (drainLeft == 0) {
        return kInputStopped;
    }
    size_t want = static_cast<size_t>(std::min<long long>(drainLeft, static_cast<long long>(size)));
    long n = ReadOnce(buffer, want);
    if (n <= 0) {
        drainLeft = 0;
        return n == kInputEnd ? kInputEnd : kInputStopped;
    }
    drainLeft -= n;
    return n;
}

}  // namespace

bool StopRequestsCatch() {
    if (wakeWrite < 0 && !OpenWakePipe()) {
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0 &&
           sigaction(SIGPIPE, &ignore, nullptr) == 0 && sigaction(SIGXFSZ, &ignore, nullptr) == 0 &&
           Catch(SIGHUP, OnRequestSignal) && Catch(SIGALRM, OnRequestSignal) &&
           Catch(SIGUSR1, OnQuietSignal) && Catch(SIGUSR2, OnQuietSignal);
}

bool StopRequested() {
    return stopRequested != 0;
}

int TakeRequests() {
    // The pipe first: a signal after this read finds its flag below and
    // wakes the next wait.
    if (stopRequested == 0) {
        DrainWakePipe();
    }
    int requests = 0;
    if (reopenRequested != 0) {
        reopenRequested = 0;
        requests |= kRequestReopen;
    }
    if (rotateRequested != 0) {
        rotateRequested = 0;
        requests |= kRequestRotate;
    }
    return requests;
}

bool WaitForRequest(int ms) {
    if (stopRequested != 0 || RequestPending()) {
        return true;
    }
    struct pollfd wake = {wakeRead, POLLIN, 0};
    int ready = poll(&wake, wakeRead >= 0 ? 1 : 0, ms);
    return ready > 0 || stopRequested != 0 || RequestPending();
}

long InputRead(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return kInputError;
    }
    for (;;) {
        if (stopRequested != 0) {
            return Drain(buffer, size);
        }
        if (RequestPending()) {
            return kInputRequest;
        }
        struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        int ready = poll(fds, wakeRead >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return kInputError;
        }
        if (stopRequested != 0 || RequestPending()) {
            continue;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            // A wake for a request already taken.
            DrainWakePipe();
        }
        if ((fds[0].revents & POLLNVAL) != 0) {
            return kInputError;
        }
        if (fds[0].revents != 0) {
            long n = ReadOnce(buffer, size);
            // A descriptor left non-blocking by whoever handed it over:
            // nothing yet, wait again.
            if (n != kNothingYet) {
                return n;
            }
        }
    }
}

bool OutputWrite(const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace vosk::platform
