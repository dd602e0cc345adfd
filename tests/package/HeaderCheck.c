/* The public header alone, built as C89 and C99 with every warning an error. */
#include "VOSK_Log.h"

#if VOSK_LOG_VERSION != \
    VOSK_LOG_VERSION_MAJOR * 10000 + VOSK_LOG_VERSION_MINOR * 100 + VOSK_LOG_VERSION_PATCH
#error "VOSK_LOG_VERSION disagrees with its parts"
#endif

int vosk_header_check(void);

int vosk_header_check(void) {
    LogHandle log = SL_CreateLog("logs", "check.log", 0, 3);
    SL_TraceLog(log, 1, "%s %d", "version", VOSK_LOG_VERSION);
    SL_ChangeLevel(log, 2);
    SL_Write(log, "text");
    SL_SetLogDiskLimit(800u);
    SL_SetLogArchive(log, 7);
    if (SL_SetLogOption(log, SL_OPTION_STAMP, SL_STAMP_UTC) != 0) {
        return -1;
    }
    SL_DestroyLog(log);
    return log != 0;
}
