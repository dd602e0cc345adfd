/* "%s" given an int: must not build with -Werror=format. */
#include "VOSK_Log.h"

void Mismatched(LogHandle log) {
    SL_TraceLog(log, 1, "name %s", 7);
}
