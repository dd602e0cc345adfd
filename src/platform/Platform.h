// The one interface between the library and the operating system.
//
// Everything that needs a system header beyond the C and C++ runtime lives
// behind these functions; posix/ and win32/ each implement all of them. The
// names avoid the Windows API's macro names (CreateMutex, DeleteFile, ...) so
// that the Windows layer can include <windows.h> next to this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace vosk::platform {

// ---------------------------------------------------------------- sections
// A process-local, recursive lock without time-out, released only by the
// thread that holds it. A waiter spins briefly before it blocks, since the
// library holds its locks for a short time only. Storage is embedded so that a lock costs no
// allocation; each layer checks that its native object fits.
struct SectionStorage {
    alignas(16) unsigned char bytes[64];
};
void SectionInit(SectionStorage* section);
void SectionDelete(SectionStorage* section);
void SectionEnter(SectionStorage* section);
void SectionLeave(SectionStorage* section);
// Enters without waiting; false when another thread holds the section.
bool SectionTryEnter(SectionStorage* section);
// In a child process just forked: a fresh, unlocked section in place of one
// that a thread of the parent, which does not exist here, may have held.
void SectionReinitAfterFork(SectionStorage* section);

// ------------------------------------------------- mutexes, events, waits
using Handle = void*;

// Results of the waits, with the Windows values.
constexpr uint32_t kWaitSignalled = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr int32_t kInfinite = -1;

// A mutex is recursive and owned: only the thread that holds it releases
// it. Named mutexes are a Windows feature; the POSIX layer refuses a name.
bool MutexCreate(Handle* mutex, int initialOwner, const char* name);
// Releases it when held by the caller, then closes the handle. A mutex that
// another thread holds stays alive until that thread releases it, so an owner
// may close a signal while the thread that set it is still leaving it.
int MutexClose(Handle mutex);
// The wait's result; anything but kWaitFailed means the caller owns the mutex
// (Windows answers WAIT_ABANDONED when the previous owner died holding it).
uint32_t MutexAcquire(Handle mutex);
bool MutexRelease(Handle mutex);

// An unowned mutex and an unnamed auto-reset event, created non-signalled.
// The event is created only when the mutex was. True when both exist.
bool SignalCreate(Handle* event, Handle* mutex);
int SignalClose(Handle event, Handle mutex);
int EventSet(Handle event);    // nonzero on success; releases one waiter
int EventReset(Handle event);  // nonzero on success
// kWaitSignalled (and the event is cleared again), kWaitTimeout or
// kWaitFailed. The time-out is unsigned milliseconds as on Windows: 0 tests
// without blocking, kInfinite waits without limit.
uint32_t EventWait(Handle event, int32_t timeoutMs);
// In a child process just forked: the signal's mutex and event made fresh
// (unowned, nobody waiting), keeping the event's state.
void SignalReinitAfterFork(Handle event, Handle mutex);

// ------------------------------------------------------------------ threads
using ThreadProc = uint32_t (*)(void* argument);

// Starts the thread at once. True when a handle was obtained; *threadId
// (may be null) is then the value CurrentThreadId() gives on that thread.
//
// The handle is the caller's, to be given to ThreadClose exactly once; the
// thread itself never touches it. On POSIX it is a small record holding the
// joinable pthread: ThreadClose detaches it unless ThreadReap or
// ThreadWaitEnd joined it, and frees the record.
bool ThreadCreate(ThreadProc procedure, void* argument, uint32_t* threadId, Handle* thread);
// Last resort for a thread that does not end; nonzero on success. Never
// waits. Windows kills the thread where it stands (TerminateThread). POSIX has
// no safe equivalent: the thread is cancelled (deferred), so it unwinds from
// its next cancellation point (sleep, file I/O, ...); exitCode is not used.
// The library's own waits (EventWait, MutexAcquire) are not cancellation
// points, so a thread is never cancelled while it holds one of their locks.
int ThreadTerminate(Handle thread, uint32_t exitCode);
// Reaps a thread that has signalled, as its last act, that it ends: when
// this returns true, the thread runs none of the caller's code any more, so
// a library may be unloaded. POSIX joins it (a wait of a few instructions).
// Windows returns true at once without waiting: a DLL is unloaded under the
// loader lock, which an ending thread needs for its detach notifications,
// so waiting there for the thread's handle would never return; the
// thread's last call (SetEvent) is made as close to its end as it can be.
bool ThreadReap(Handle thread);
// After ThreadTerminate: waits up to the time-out for the thread to end.
// True when it has ended, false when it may still run (then nothing it may
// touch must be freed). A terminated thread needs no loader lock to end.
bool ThreadWaitEnd(Handle thread, int32_t timeoutMs);
// Forgets the handle; the thread itself is not affected. Null is ignored.
void ThreadClose(Handle thread);
uint32_t CurrentThreadId();
uint32_t CurrentProcessId();
// True where the system ends every other thread of a process before the
// libraries' exit hooks run (Windows); false where they keep running until
// the process is gone (POSIX).
bool ThreadsEndBeforeExitHooks();
// Sleeps the calling thread; on POSIX a cancellation point, where a
// terminated thread ends.
void SleepMs(uint32_t milliseconds);

// A POSIX cancellation unwinds the thread with a special exception that a
// catch (...) must not swallow (the process aborts if it does). This
// rethrows a cancellation and returns for any other exception; call it
// only inside a catch handler. Code catches everything through CatchAll
// (platform/CatchAll.h), which calls it. Windows: returns at once.
void RethrowIfThreadCancellation();
// A cancellation that reaches a destructor or other noexcept code aborts the
// process. Code that may block or do file I/O there (destroying a payload
// that closes its file) holds cancellation off meanwhile:
//     int previous = ThreadHoldCancellation(); ...; ThreadRestoreCancellation(previous);
// Windows: nothing to hold.
int ThreadHoldCancellation();
void ThreadRestoreCancellation(int previous);

// --------------------------------------------------------------------- time
// Local time to the millisecond, field for field the Windows SYSTEMTIME.
struct LocalTime {
    uint16_t year;
    uint16_t month;      // 1..12
    uint16_t dayOfWeek;  // 0 = Sunday
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};
void LocalTimeNow(LocalTime* now);
// Thread-safe broken-down local time of t; false when it cannot be converted.
bool LocalCalendar(time_t t, std::tm* out);
// Milliseconds from an arbitrary start that never moves back and ignores
// changes of the wall clock and of the time zone: for measuring intervals.
int64_t MonotonicMs();

// ------------------------------------------------------------------- locale
// The radix character (as text) of the calling thread's numeric locale,
// the one printf writes; "." in the "C" locale. Never null.
const char* NumericRadix();

// ------------------------------------------------------------------- module
// Full path of the process's main executable into buffer (always
// terminated); the length, or 0 when it cannot be obtained.
size_t ExecutablePath(char* buffer, size_t size);
// The executable's directory: the path cut before its last separator.
// Empty when the path cannot be obtained. Always terminated.
void ExecutableDirectory(char* buffer, size_t size);

// -------------------------------------------------------- dynamic libraries
// Loading a shared library the way a host does (tests and tools).
Handle LibraryOpen(const char* path);  // null on failure
void* LibrarySymbol(Handle library, const char* name);
bool LibraryClose(Handle library);

// -------------------------------------------------------------------- files
// Longest path the system accepts, terminating NUL included.
extern const int kPathLimit;

enum OpenFlags : int {
    kOpenCreate = 1,    // create when missing
    kOpenTruncate = 2,  // start empty
    kOpenAppend = 4,    // every write goes to the end
};
// Opens for reading and writing: shared, not inherited by child processes,
// created readable and writable; text mode on Windows. -1 on failure.
// Only a plain file is opened: never through a symbolic link or other
// reparse point at the last component, never blocking (a FIFO), and
// whatever else is found there (a FIFO, a device, a directory) is closed
// again untouched and the open fails.
int FileOpen(const char* path, int flags);
// One write() call; on failure returns a negative value with errno set.
long FileWrite(int fd, const void* data, size_t size);
int FileClose(int fd);
bool FileExists(const char* path);  // access(path, 0)
// A directory, or a link to one. False when the path cannot be examined.
bool PathIsDirectory(const char* path);
// A plain file itself: false for a link (even to a file), a directory, a
// FIFO, a device, and when the path cannot be examined.
bool PathIsPlainFile(const char* path);
// Moves a file to a new name in one step, replacing a file or link of
// that name (never a directory). On failure both names stay as they were.
bool FileRename(const char* from, const char* to);
// Size in bytes, or -1 when the path cannot be examined.
int64_t FileSizeOf(const char* path);
bool FileRemove(const char* path);  // remove()
bool FileDelete(const char* path);  // a plain file only, never a directory
bool DirectoryMake(const char* path);
bool DirectoryRemove(const char* path);
// Clears a read-only state so that the entry can be deleted. Never follows
// a symbolic link.
bool PathMakeWritable(const char* path);

// Which file an open descriptor or a path is: device and inode on POSIX,
// volume serial number and file index on Windows.
struct FileId {
    uint64_t volume;
    uint64_t index;
    bool operator==(const FileId& other) const {
        return volume == other.volume && index == other.index;
    }
};
bool FileIdOf(int fd, FileId* id);
// The entry at path itself, a link not followed. False when there is none
// or it cannot be examined.
bool PathFileId(const char* path, FileId* id);

// --------------------------------------------------------- directory search
constexpr size_t kNameLimit = 260;

struct DirEntry {
    char name[kNameLimit];
    bool isDirectory;     // a real directory; false for a link to one
    bool isLink;          // a symbolic link, junction or other reparse point
    uint64_t createTime;  // comparable across entries, like a FILETIME
    // False for a name that no path can carry here: on POSIX one holding
    // '\', which this layer reads as a separator ("..\\x" would name a
    // file elsewhere). Such an entry is deleted with DirDeleteEntry, never
    // through a path made of its name.
    bool addressable;
};

struct DirSearch;
// Windows-style pattern: the last component may hold * and ?, and a
// trailing ".*" also matches names without a dot. "." and ".." come first
// when the pattern matches them. Null when nothing can be enumerated.
DirSearch* DirFindFirst(const char* pattern, DirEntry* entry);
bool DirFindNext(DirSearch* search, DirEntry* entry);
void DirFindClose(DirSearch* search);
// Deletes the entry that the search reported last, relative to the
// directory searched: a file or link is unlinked, a directory removed with
// everything in it (links inside are deleted, never followed). For entries
// that are not addressable; Windows reports none and refuses. False when
// something stays.
bool DirDeleteEntry(DirSearch* search, const DirEntry* entry);

// --------------------------------------------------------------------- disk
// Clusters free to the caller and in total, for the disk that holds the
// current directory. False when the system cannot tell.
bool DiskClusters(uint32_t* freeClusters, uint32_t* totalClusters);

// ------------------------------------------------- standard input, stopping
// For a program that reads its standard input until it ends or until it is
// asked to stop: SIGINT or SIGTERM; on Windows Ctrl+C, Ctrl+Break or the
// console closing. A stop never cuts into data already read: InputRead then
// returns what a pipe held when the stop was noticed, and only then stops.

// Read results besides a count of bytes.
constexpr long kInputEnd = 0;
constexpr long kInputError = -1;
constexpr long kInputStopped = -2;

// Catches the stop requests from here on, and makes writing to a closed
// standard output an error of the write instead of the end of the process.
// False when they cannot be caught.
bool StopRequestsCatch();
bool StopRequested();
// Up to size bytes of standard input as they are (no line-end translation);
// waits until there are some, the input ends (kInputEnd), fails
// (kInputError) or a stop is requested (kInputStopped, once what was
// already waiting has been returned).
long InputRead(char* buffer, size_t size);
// Writes all of data to standard output unchanged; false when it cannot.
bool OutputWrite(const char* data, size_t size);

}  // namespace vosk::platform
