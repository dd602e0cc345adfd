// Loading the library the way a host does, through the system's loader:
// dlopen and dlsym on POSIX, LoadLibrary and GetProcAddress on Windows
// (the bodies are in tests/posix/host and tests/win32/host).
#pragma once

namespace vosk::test {

void* LibraryOpen(const char* path);  // null on failure
void* LibrarySymbol(void* library, const char* name);
bool LibraryClose(void* library);

}  // namespace vosk::test
