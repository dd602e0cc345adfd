#include <windows.h>

#include "platform/win32/WideText.h"
#include "support/HostLibrary.h"

namespace vosk::test {

// The path as the library's own paths are held (UTF-8), opened by its wide
// name so that no code page stands in the way.
void* LibraryOpen(const char* path) {
    return path == nullptr
               ? nullptr
               : reinterpret_cast<void*>(LoadLibraryW(platform::WidePath(path).c_str()));
}

void* LibrarySymbol(void* library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool LibraryClose(void* library) {
    return library != nullptr && FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

}  // namespace vosk::test
