// The DLL entry point's signature and notifications in the Windows ABI,
// without <windows.h>: the entry point itself lives with the exported
// functions (src/api/), which include no system headers. Module.cpp checks
// the values against <windows.h>.
#pragma once

namespace vosk::platform {

constexpr unsigned long kDllProcessDetach = 0;
constexpr unsigned long kDllProcessAttach = 1;

}  // namespace vosk::platform

// BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
extern "C" int __stdcall DllMain(void* instance, unsigned long reason, void* reserved);
