// What the platform's load and unload notifications call.
#pragma once

namespace vosk {

// The library was loaded into a process: build the registry (its
// destruction goes on the runtime's exit list), then purge old logs.
void OnLibraryAttach();

// The library is being unloaded. processExiting: the whole process is
// ending and the system has already stopped the library's thread.
void OnLibraryDetach(bool processExiting);

}  // namespace vosk
