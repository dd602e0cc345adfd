// Standard input until it ends or the console asks the program to stop.
// A read of a pipe cannot be broken off safely, so a thread of its own
// reads, one chunk at a time, while the caller waits for that chunk or for
// the stop. After a stop the caller takes the chunk already read and what
// the pipe held at that moment, and no more.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "platform/Input.h"

namespace vosk::platform {

namespace {

constexpr DWORD kChunk = 65536;
// Closing the console ends the process this long after the handler
// returns; the program's own exit, once it has written, comes sooner.
constexpr DWORD kCloseGraceMs = 4500;
// A pipe that holds data answers the read in flight at once.
constexpr DWORD kDrainWaitMs = 1000;

struct Reader {
    HANDLE input = INVALID_HANDLE_VALUE;
    bool isPipe = false;
    HANDLE want = nullptr;   // auto-reset: the caller asks for the next chunk
    HANDLE ready = nullptr;  // manual-reset: a chunk, the end or an error is there
    // Written by the reader thread before it sets ready, read by the caller
    // after it saw ready: the events order the two.
    char data[kChunk];
    long result = 0;  // bytes in data, or kInputEnd / kInputError
    long offset = 0;  // bytes of data already handed out
    bool inFlight = false;
};

// Lives until the process ends: at exit its thread may still be waiting in
// a read that nothing will answer.
Reader* reader = nullptr;
HANDLE stopEvent = nullptr;
std::atomic<bool> stopRequested{false};
// What the pipe held when the stop was noticed; -1 before.
long long drainLeft = -1;

DWORD WINAPI ReaderMain(void* argument) {
    Reader* r = static_cast<Reader*>(argument);
    for (;;) {
        WaitForSingleObject(r->want, INFINITE);
        DWORD got = 0;
        long result;
        if (ReadFile(r->input, r->data, kChunk, &got, nullptr)) {
            // An empty read is the end, as the C runtime's read takes it:
            // wine reports the end of a pipe so, not as a broken pipe.
            result = static_cast<long>(got);
        } else {
            DWORD error = GetLastError();
            result =
                error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? kInputEnd : kInputError;
        }
        r->result = result;
        r->offset = 0;
        SetEvent(r->ready);
        if (result <= 0) {
            return 0;
        }
    }
}

bool StartReader() {
    std::unique_ptr<Reader> r(new (std::nothrow) Reader());
    if (r == nullptr) {
        return false;
    }
    r->input = GetStdHandle(STD_INPUT_HANDLE);
    r->isPipe = GetFileType(r->input) == FILE_TYPE_PIPE;
    r->want = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    r->ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    if (r->want != nullptr && r->ready != nullptr) {
        thread = CreateThread(nullptr, 0, ReaderMain, r.get(), 0, nullptr);
    }
    if (thread == nullptr) {
        if (r->want != nullptr) {
            CloseHandle(r->want);
        }
        if (r->ready != nullptr) {
            CloseHandle(r->ready);
        }
        return false;
    }
    CloseHandle(thread);
    reader = r.release();  // lives as long as the process, with its thread
    return true;
}

void Ask(Reader* r) {
    if (!r->inFlight) {
        r->inFlight = true;
        SetEvent(r->want);
    }
}

// Hands out the chunk that is ready; the end and errors stay for the next
// call.
long Take(Reader* r, char* buffer, size_t size) {
    if (r->result <= 0) {
        return r->result;
    }
    long n = static_cast<long>(std::min<size_t>(size, static_cast<size_t>(r->result - r->offset)));
    std::memcpy(buffer, r->data + r->offset, static_cast<size_t>(n));
    r->offset += n;
    if (r->offset == r->result) {
        r->inFlight = false;
        ResetEvent(r->ready);
    }
    return n;
}

long long Pending(const Reader* r) {
    DWORD available = 0;
    if (!r->isPipe || !PeekNamedPipe(r->input, nullptr, 0, nullptr, &available, nullptr)) {
        return 0;
    }
    return available;
}

long Drain(Reader* r, char* buffer, size_t size) {
    if (drainLeft < 0) {
        drainLeft = Pending(r);
    }
    // A chunk already read is handed out whatever the pipe holds.
    if (WaitForSingleObject(r->ready, 0) != WAIT_OBJECT_0) {
        if (drainLeft <= 0) {
            return kInputStopped;
        }
        Ask(r);
        if (WaitForSingleObject(r->ready, kDrainWaitMs) != WAIT_OBJECT_0) {
            drainLeft = 0;
            return kInputStopped;
        }
    }
    long n = Take(r, buffer, size);
    if (n > 0) {
        drainLeft = std::max<long long>(drainLeft - n, 0);
        return n;
    }
    return n == kInputEnd ? kInputEnd : kInputStopped;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
    stopRequested = true;
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) {
        Sleep(kCloseGraceMs);
    }
    return TRUE;
}

}  // namespace

bool StopRequestsCatch() {
    if (stopEvent == nullptr) {
        stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (stopEvent == nullptr) {
            return false;
        }
    }
    // A process started in a new process group has Ctrl+C turned off.
    SetConsoleCtrlHandler(nullptr, FALSE);
    return SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

bool StopRequested() {
    return stopRequested;
}

int TakeRequests() {
    return 0;
}

bool WaitForRequest(int ms) {
    if (stopRequested) {
        return true;
    }
    if (stopEvent == nullptr) {
        Sleep(static_cast<DWORD>(ms));
        return stopRequested;
    }
    return WaitForSingleObject(stopEvent, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

long InputRead(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0 || (reader == nullptr && !StartReader())) {
        return kInputError;
    }
    Reader* r = reader;
    // After a stop, a read is asked for only when the pipe holds data.
    if (stopRequested) {
        return Drain(r, buffer, size);
    }
    Ask(r);
    // Both set: the data comes first.
    HANDLE events[2] = {r->ready, stopEvent};
    DWORD count = stopEvent != nullptr ? 2 : 1;
    DWORD which = WaitForMultipleObjects(count, events, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0) {
        return Take(r, buffer, size);
    }
    if (which == WAIT_OBJECT_0 + 1) {
        return Drain(r, buffer, size);
    }
    return kInputError;
}

bool OutputWrite(const char* data, size_t size) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    while (size > 0) {
        DWORD written = 0;
        DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        if (!WriteFile(output, data, piece, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace vosk::platform
