// The library's paths are UTF-8 inside; the Windows layer hands them to the
// system's wide (UTF-16) calls, so that any name the system can hold can be
// named, whatever the process's ANSI code page.
#pragma once

#include <string>

namespace vosk::platform {

// The UTF-8 path as the wide calls take it. An absolute path too long for
// MAX_PATH gets the extended-length form (\\?\C:\..., \\?\UNC\server\...),
// which the system takes up to 32767 characters without the long-path
// setting; it is made full first, since that form is taken as it stands
// ('/' and ".." included).
std::wstring WidePath(const char* path);

// UTF-16 text from the system as UTF-8; length -1 for NUL-terminated text.
std::string Utf8Of(const wchar_t* text, int length = -1);

}  // namespace vosk::platform
