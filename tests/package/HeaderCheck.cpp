// The public header alone, built as C++98 with every warning an error.
#include "VOSK_Log.h"

int vosk_header_check_cxx();

int vosk_header_check_cxx() {
    LogHandle log = SL_CreateLog("logs", "check.log", 0, 3);
    SL_TraceLog(log, 1, "%s %d", "version", VOSK_LOG_VERSION);
    SL_DestroyLog(log);
    return log != 0;
}
