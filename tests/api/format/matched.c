/* Calls whose arguments match their formats: must build with -Werror=format. */
#include "VOSK_Log.h"

#include <stddef.h>

static void PrintThrough(LogHandle log, const char* format, ...) VOSK_LOG_PRINTF(2, 3);

static void PrintThrough(LogHandle log, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SL_Print(log, 1, format, args);
    va_end(args);
}

void Matched(LogHandle log) {
    SL_TraceLog(log, 1, "user %i name %s", 7, "bob");
    SL_TraceLog(log, 1, "%ld %lld %zu %hhd %Lf %p %%", 1L, 2LL, (size_t)3, 4, 5.0L, (void*)log);
    SL_TraceLog(log, 1, "%-*.*e %m", 12, 3, 6.5);
    PrintThrough(log, "%s: %d", "items", 8);
}
