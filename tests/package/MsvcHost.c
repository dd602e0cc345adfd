/*
 * A host as Microsoft's toolchain builds one: no C runtime, linked by
 * lld-link against VOSK_Log.lib (with /SAFESEH on x86) and built with
 * stdcall as its default convention, which only the header's explicit
 * convention makes agree with the DLL. Its long double is the 8-byte
 * double of the Windows ABI, as in every MSVC-built host. Writes two records
 * into <exe dir>/msvc_logs/msvc.log and exits with 0 when the log was made.
 */
#include "VOSK_Log.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

/* Without a C runtime, the marker that floating point is in use is ours. */
int _fltused = 0;

void __cdecl HostMain(void) {
    LogHandle log = SL_CreateLog("msvc_logs", "msvc.log", 0, 3);
    SL_TraceLog(log, 1, "linked by %s, %d-bit", "lld-link", (int)(sizeof(void*) * 8));
    SL_TraceLog(log, 1, "long double %Lf, then %d", (long double)1.5, 42);
    SL_DestroyLog(log);
    ExitProcess(log != 0 ? 0 : 1);
}
