#include <windows.h>

#include <cstring>
#include <string>

#include "platform/Module.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

size_t ExecutablePath(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    // The wide name, never through the ANSI code page, which cannot spell
    // every folder's name.
    std::wstring wide(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &wide[0], static_cast<DWORD>(wide.size()));
    const std::string path =
        n == 0 || n >= wide.size() ? std::string() : Utf8Of(wide.c_str(), static_cast<int>(n));
    if (path.empty() || path.size() >= size) {
        buffer[0] = '\0';
        return 0;
    }
    memcpy(buffer, path.c_str(), path.size() + 1);
    return path.size();
}

}  // namespace vosk::platform
