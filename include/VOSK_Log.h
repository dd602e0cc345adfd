/*
 * VOSK_Log: write-through logging for host applications.
 *
 * Every record is stamped with the local time to the millisecond and is in
 * the file when the call returns. Each log's file moves to "<file>.bak" at
 * the first record of every new local day and at the first record after the
 * file reached its size limit. A background thread of the library destroys
 * logs, flushes idle ones and prunes archived logs when the disk is too full.
 *
 * A new day is a local date later than the file's: a clock set back (by
 * hand, by a time server, by a change of time zone) keeps writing the
 * current file. Only a plain file at the log's path is written or moved: a
 * link, FIFO, device or directory there is left as it is, and records are
 * dropped until it is gone. When a backup cannot be made, the file and the
 * old backup both stay and records go on into the file; the backup is tried
 * again a second later. A file removed or renamed away from the path (or
 * whose directory was removed) keeps the records written meanwhile (gone
 * with it when it was removed) until the library's next idle pass, which
 * opens the path again: within about 10 seconds of loading the library,
 * then every half second while no destroy or disk-limit call keeps its
 * thread busy.
 *
 * Symbolic links on the path of a log's directory are followed once, when
 * the log first makes or opens its file (a linked log folder works). From
 * then on the file, its backup and its archive are opened, moved and made
 * in that directory, wherever it has been moved, never through a link that
 * took its place or the place of a folder above it later. A directory
 * removed (or moved away with nothing in its place) is made again where it
 * was first found by the next open or idle pass, never through a link; the
 * folders above it need only let the host pass (a folder of mode 0711 that
 * it may enter but not list will do).
 *
 * None of the functions reports an error and none of them throws. All of
 * them may be called from any thread, concurrently.
 *
 * Each record reaches its file in one write, whatever its length, and files
 * are opened for appending, so records of two processes writing one file
 * (a parent and its forked child) never tear or overwrite each other.
 *
 * The host's process lifecycle:
 * - Unloading the library (dlclose, FreeLibrary) stops its thread, writes
 *   out and closes every log, and frees everything. No other thread of the
 *   host may be inside a function of the library, or call one, from then
 *   on: an unload while host threads still call is a fault of the host.
 *   The library holds no reference to itself: it is unmapped by the host's
 *   last FreeLibrary or dlclose, as soon as that call returns. By then none
 *   of its code runs on any thread. On Windows its thread is the one work
 *   item of a thread pool of its own: the unload waits until the pool has
 *   seen the item return, and an item that had not begun yet (an unload
 *   right after the load) is taken off the pool's queue and never runs;
 *   the pool's thread then ends in the system's code. An unload takes
 *   milliseconds, not the second the thread is given to end.
 * - A process may end (return from main, exit) while its threads still
 *   call: every log is written out and closed, and calls that arrive
 *   during or after that are dropped.
 * - After fork() both processes may go on using the library (POSIX); the
 *   child has a thread of its own, and raw text pending at the fork is
 *   written once, by the parent.
 * - The functions are not async-signal-safe: do not call them from a signal
 *   handler. A call that arrives on a thread already inside a call for the
 *   same log (a handler that interrupted it) is dropped. A handler that
 *   logs anyway may only run on a thread that has written a record to that
 *   log before: a thread's first record sets up its state in the library
 *   and a log's first record opens its file, and both allocate memory; so
 *   may a record that moves the file (a new day, the size limit).
 */
#ifndef VOSK_LOG_H
#define VOSK_LOG_H

#include <stdarg.h>

/* The library's version; VOSK_LOG_VERSION is 10000 * major + 100 * minor + patch. */
#define VOSK_LOG_VERSION_MAJOR 1
#define VOSK_LOG_VERSION_MINOR 0
#define VOSK_LOG_VERSION_PATCH 0
#define VOSK_LOG_VERSION \
    (VOSK_LOG_VERSION_MAJOR * 10000 + VOSK_LOG_VERSION_MINOR * 100 + VOSK_LOG_VERSION_PATCH)

/*
 * The calling convention of every export: the caller removes the arguments.
 * Spelled out so that a host built with another default (/Gz, /Gr) still
 * calls the library correctly.
 */
#if defined(_WIN32)
#define VOSK_LOG_CALL __cdecl
#else
#define VOSK_LOG_CALL
#endif

/*
 * Format checking: with GCC and Clang, calls to SL_TraceLog and SL_Print are
 * checked like printf (-Wformat, in -Wall); with MSVC, under /analyze. The
 * formats are C99's on every platform, so MinGW checks them as GNU formats,
 * not as the system runtime's.
 */
#if defined(__GNUC__) || defined(__clang__)
#if defined(__MINGW32__) && !defined(__clang__)
#define VOSK_LOG_PRINTF(format_index, first_arg) \
    __attribute__((format(gnu_printf, format_index, first_arg)))
#else
#define VOSK_LOG_PRINTF(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
#endif
#else
#define VOSK_LOG_PRINTF(format_index, first_arg)
#endif
#if defined(_MSC_VER) && !defined(__clang__)
#include <sal.h>
#define VOSK_LOG_FORMAT_STRING _Printf_format_string_
#else
#define VOSK_LOG_FORMAT_STRING
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A log. Valid from SL_CreateLog until SL_DestroyLog is called with it. */
typedef struct VOSK_LogOpaque* LogHandle;

/*
 * Creates a log writing to "<directory>/<name>". The file is created (with
 * missing directories) at the first record. directory: absolute, or relative
 * to the executable's directory; NULL or blank means "<executable dir>/log_files".
 * sizeLimit: characters per file before a new one is started; values below
 * 1048576 are raised to 1048576. level: records whose level is greater are
 * dropped (smaller is more important). Returns NULL when the log cannot be made.
 * On Windows, directory and name are text in the process's ANSI code page
 * (UTF-8 when the host's manifest asks for it), and any path the system can
 * name works, longer than MAX_PATH included; records are written as given.
 */
LogHandle VOSK_LOG_CALL SL_CreateLog(const char* directory, const char* name, int sizeLimit,
                                     int level);

/*
 * Destroys a log later, on the library's thread: what was written so far is
 * flushed and the file closed. Do not use the handle after this call. NULL
 * is accepted and does nothing.
 */
void VOSK_LOG_CALL SL_DestroyLog(LogHandle log);

/* Sets the log's level threshold; takes effect for the next record. */
void VOSK_LOG_CALL SL_ChangeLevel(LogHandle log, int level);

/*
 * Writes one record when level is not greater than the log's threshold:
 * "[YYYY-MM-DD hh:mm:ss.mmm] " then the printf-style message, then a line
 * feed unless the message ends with one. The format is C99 printf's, with
 * the same text on every platform: flags - + space # 0, width and precision
 * as digits or '*', length modifiers hh h l ll j z t L, and the conversions
 * d i u o x X c s p e E f F g G a A and %%; each takes exactly the argument
 * printf takes (l is long, L long double; on Windows the ABI's long
 * double, the 8-byte double that MSVC-built hosts pass: a MinGW host must
 * cast GCC's 80-bit long double to double or build with -mlong-double-64).
 * %n takes its pointer and stores nothing. %m, an addition, prints the text
 * of errno as it was when the call began and takes no argument. Any other letter prints nothing and
 * takes no argument. errno is as the call found it when it returns.
 */
VOSK_LOG_PRINTF(3, 4)
void VOSK_LOG_CALL SL_TraceLog(LogHandle log, int level, VOSK_LOG_FORMAT_STRING const char* format,
                               ...);

/* SL_TraceLog with an argument list. */
VOSK_LOG_PRINTF(3, 0)
void VOSK_LOG_CALL SL_Print(LogHandle log, int level, VOSK_LOG_FORMAT_STRING const char* format,
                            va_list args);

/*
 * Writes text as it is, after 25 blanks, with no stamp, level test or line
 * end. It reaches the file with the next record or the next idle flush;
 * text written before the log's first record is dropped.
 */
void VOSK_LOG_CALL SL_Write(LogHandle log, const char* text);

/*
 * Sets, in per mille of the disk holding a log's directory, how full that
 * disk may get before the library prunes archived days there
 * (<log dir>/logfiles-YYYY/MM/YYYY-MM-DD), the day folder made first going
 * first, whatever its name says. Clamped to 200..950; 800 until set.
 * Takes effect later, on the library's thread.
 */
void VOSK_LOG_CALL SL_SetLogDiskLimit(unsigned int limit);

/*
 * Keeps the log's history in a day archive beneath its directory. With
 * keepDays greater than 0, a backup that a new file would replace is first
 * moved into <log dir>/logfiles-YYYY/MM/YYYY-MM-DD/ (the local day of its
 * last record) as "<name>.YYYYMMDD-HHMMSS-mmmZ" (the time of its last
 * record in UTC, to the millisecond; a time not after the log's last name
 * becomes that name's and a millisecond, and a name taken moves on a
 * millisecond at a time): the names sort by time, never run out, and none
 * is ever replaced. Files that earlier versions named
 * "<name>.YYYYMMDD-HHMMSS" and "-NNN" after it (local time) stay as they
 * are: pruned with their day folders, compressed with the others, read by
 * vosklog-read, which places them in time by their local time in its own
 * zone. In a day folder that holds both forms a plain sort of the names
 * is not their time order: the older digits are local time, the new UTC.
 * Day folders more than keepDays days before
 * today are deleted, within a minute and every minute after; the disk
 * limit prunes day folders in the order they were made (the folder made
 * first goes first, today's included), whatever their names or age. Logs sharing a
 * directory share its archive, so the smallest keepDays among them rules.
 * Symbolic links in the archive are never followed; where the archive
 * cannot be made (permissions, a full disk, a link or file where a folder
 * should be) the backup is replaced as without it, and no record of the
 * current file is lost. 0 or less (the default) turns the archive off.
 * Takes effect at the next rotation. NULL is accepted and does nothing.
 */
void VOSK_LOG_CALL SL_SetLogArchive(LogHandle log, int keepDays);

/*
 * Options of a log, set one at a time with SL_SetLogOption. New behaviour
 * comes as a new option here rather than a new function, so that a host
 * built against an older header keeps working and a host that asks for an
 * option this library does not know is told so.
 */
/* Days the day archive keeps, as SL_SetLogArchive: 0 turns it off, 1 or
 * more keeps that many days; a negative value is refused. */
#define SL_OPTION_ARCHIVE_DAYS 1
/*
 * 1: each file the day archive keeps is compressed to gzip, as
 * "<archived name>.gz" (zcat, zgrep and less read it); 0 (the default):
 * not. The library's thread does it, within a second of the file reaching
 * the archive, never a thread that writes a record, and not while a
 * writer still writes the file. It is crash-safe: "<archived name>.gz.tmp"
 * is written and synced first, renamed to "<archived name>.gz" when whole
 * (never replacing a file), and only then is the plain file deleted; what
 * a stop leaves (a ".tmp", or the plain file beside its ".gz") is finished
 * within a minute of the next start, when plain archived files of the log
 * found then are compressed too. The disk limit and the archive's days
 * delete ".gz" files as any archived file. Only with the archive on.
 */
#define SL_OPTION_COMPRESS 2
/*
 * The form of the record stamp, from the next record on (each is followed
 * by a blank, then the message):
 *   SL_STAMP_LOCAL (the default)  [2026-12-11 05:41:07.123]
 *   SL_STAMP_LOCAL_OFFSET         [2026-12-11 05:41:07.123 +01:00]
 *   SL_STAMP_UTC                  [2026-12-11 05:41:07.123Z]
 * The local time alone repeats an hour when the clock goes back (daylight
 * saving's end) and does not say its zone: the offset tells the two hours
 * apart and places a record on any machine; UTC never repeats, so a plain
 * sort of the lines is their time order (to the threads' interleaving).
 * Both keep the default's fields and widths, so the date and time are
 * where tools that read the default look for them; the UTC form is an
 * RFC 3339 time (a blank for its "T", as the RFC allows), and date -d reads
 * either form with its zone. Set it before the first record, so that a
 * file's stamps are all of one form.
 */
#define SL_OPTION_STAMP 3
#define SL_STAMP_LOCAL 0
#define SL_STAMP_LOCAL_OFFSET 1
#define SL_STAMP_UTC 2
/* 1 (the default): when the log could not write records (a full disk, a
 * quota, a file that cannot be opened, a write error), the next record it
 * writes is preceded by one record that says how many, since when and why,
 * in the log's stamp form:
 *   [2026-12-11 05:41:09.480] 32290 records not written since 05:41:07.123: No space left on device
 * ("since" carries the date too when it was another day). The count is
 * exact across threads; no call blocks on it or reports it. 0: the records
 * lost leave no trace, as before. On by default because a gap nobody can
 * see is a failure reported as success, and no caller can rely on the
 * silence: the record comes only after records were already missing, one
 * line of the ordinary form, where a reader finds any other record. */
#define SL_OPTION_GAP_RECORDS 4
/*
 * 1: each time the library prunes the day archive beneath this log's
 * directory (by the archive's days, or by the disk limit in the pass that
 * was this log's turn), the log gets one record for each folder it deleted
 * in, in the log's stamp form and whatever its level threshold, such as
 * (after the stamp):
 *   pruned logfiles-2026/12/2026-12-01: 3 files, 1048576 bytes, folder removed: older than 7 days
 *   pruned logfiles-2026/12/2026-12-11: 21 files, 2202009 bytes, folder stays: disk at 912 per
 *   mille, over its limit of 900
 * (one line each). The folder is relative to the log's directory; the
 * files are all that went from it and beneath it, the bytes the plain
 * files' sizes; "folder removed" when it went too (a month or year folder
 * left empty goes with "0 files"), "folder stays" when files remain for a
 * later pass (the disk limit deletes a bounded slice at a time). Read a
 * line from its end: the reason follows the last ": ". A byte below 0x20
 * in a folder's name is written as \xNN. 0 (the default): nothing is
 * written; a host that reads its own log may not expect lines it did not
 * write.
 */
#define SL_OPTION_PRUNE_RECORDS 5

/*
 * Sets one option of a log (SL_OPTION_*) to value. Returns 0 when it is
 * set; a negative value when it is not, and then nothing has changed: -1
 * for a NULL log, -2 for an option this library does not know, -3 for a
 * value the option does not take.
 */
int VOSK_LOG_CALL SL_SetLogOption(LogHandle log, int option, int value);

#ifdef __cplusplus
}
#endif

#endif /* VOSK_LOG_H */
