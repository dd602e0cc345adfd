/*
 * A host as Microsoft's toolchain builds one: no C runtime, linked by
 * lld-link against VOSK_Log.lib (with /SAFESEH on x86) and built with
 * stdcall as its default convention, which only the header's explicit
 * convention makes agree with the DLL. Writes one record into
 * <exe dir>/msvc_logs/msvc.log and exits with 0 when the log was made.
 */
#include "VOSK_Log.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

void __cdecl HostMain(void) {
    LogHandle log = SL_CreateLog("msvc_logs", "msvc.log", 0, 3);
    SL_TraceLog(log, 1, "linked by %s, %d-bit", "lld-link", (int)(sizeof(void*) * 8));
    SL_DestroyLog(log);
    ExitProcess(log != 0 ? 0 : 1);
}
