// The DLL's entry point. The runtime calls it after the DLL's static
// initialisation at attach, and before the DLL's exit list at detach.
#include <windows.h>

#include "platform/LibraryEntry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        vosk::OnLibraryAttach();
    } else if (reason == DLL_PROCESS_DETACH) {
        // A non-null reserved argument means the process is exiting and its
        // other threads are already gone.
        vosk::OnLibraryDetach(reserved != nullptr);
    }
    return TRUE;
}
