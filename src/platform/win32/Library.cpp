#include <windows.h>

#include "platform/Module.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

Handle LibraryOpen(const char* path) {
    return path == nullptr ? nullptr
                           : reinterpret_cast<Handle>(LoadLibraryW(WidePath(path).c_str()));
}

void* LibrarySymbol(Handle library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool LibraryClose(Handle library) {
    return library != nullptr && FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

}  // namespace vosk::platform
