// The shared library's entry point is the platform's (posix/LibraryEntry.cpp:
// a load constructor, exit hooks and fork handlers; win32/LibraryEntry.cpp:
// DllMain), built into the library alone. It calls these, which the library
// above the platform defines with its exported functions.
#pragma once

namespace vosk {

// The library was loaded into a process: build the registry, then purge
// old logs.
void OnLibraryAttach();

// The library is being unloaded (processExiting false: the registry and
// its logs are destroyed) or the process is exiting (true: the logs are
// closed but their memory stays, since host threads may still call).
void OnLibraryDetach(bool processExiting);

// Around a fork (POSIX): before it in the forking thread, then after it in
// the parent and in the child.
void OnForkPrepare();
void OnForkParent();
void OnForkChild();

}  // namespace vosk
