// Standard input and output for a program that reads its standard input
// until it ends or until it is asked to stop: SIGINT or SIGTERM; on
// Windows Ctrl+C, Ctrl+Break or the console closing. A stop never cuts into
// data already read: InputRead then returns what a pipe held when the stop
// was noticed, and only then stops.
#pragma once

#include <cstddef>

namespace vosk::platform {

// Read results besides a count of bytes.
constexpr long kInputEnd = 0;
constexpr long kInputError = -1;
constexpr long kInputStopped = -2;
// A request other than a stop came: see TakeRequests.
constexpr long kInputRequest = -4;

// Requests besides a stop, as bits: on POSIX SIGHUP asks to reopen the
// file, SIGALRM to rotate it now. Windows has no such requests.
constexpr int kRequestReopen = 1;
constexpr int kRequestRotate = 2;

// Opens the null device on any of the standard descriptors that is closed,
// so that no file or pipe the program opens later takes its place (and is
// then read as input or written as output). A closed standard input thus
// reads as an empty one. Nothing to do on Windows, whose handles are not
// numbered so.
void StandardStreamsReserve();

// Catches the stop requests and the other requests from here on, lets
// SIGUSR1 and SIGUSR2 do nothing, and makes writing to a closed standard
// output, or beyond a file size limit, an error of the write instead of
// the end of the process. False when they cannot be caught.
bool StopRequestsCatch();
bool StopRequested();
// The requests that came since the last call, each once.
int TakeRequests();
// Waits up to ms milliseconds; returns early, true, when a stop or another
// request comes (or had come and is not taken yet).
bool WaitForRequest(int ms);
// Up to size bytes of standard input as they are (no line-end translation);
// waits until there are some, the input ends (kInputEnd), fails
// (kInputError), another request comes (kInputRequest, nothing read) or a
// stop is requested (kInputStopped, once what was already waiting has been
// returned).
long InputRead(char* buffer, size_t size);
// Writes all of data to standard output unchanged; false when it cannot.
bool OutputWrite(const char* data, size_t size);

}  // namespace vosk::platform
