// The DLL's entry point. The runtime calls it after the DLL's static
// initialisation at attach, and before the DLL's exit list at detach.
#include "api/LibraryHooks.h"
#include "platform/win32/DllEntry.h"

extern "C" int __stdcall DllMain(void*, unsigned long reason, void* reserved) {
    if (reason == vosk::platform::kDllProcessAttach) {
        vosk::OnLibraryAttach();
    } else if (reason == vosk::platform::kDllProcessDetach) {
        // A non-null reserved argument means the process is exiting and its
        // other threads are already gone.
        vosk::OnLibraryDetach(reserved != nullptr);
    }
    return 1;  // TRUE
}
