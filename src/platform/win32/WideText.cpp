#include "platform/win32/WideText.h"

#include <windows.h>

#include "platform/Files.h"

namespace vosk::platform {

namespace {

std::wstring Widened(const char* text, UINT codePage) {
    const int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (n <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

bool IsAbsolute(const std::wstring& path) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    return (path.size() >= 3 && path[1] == L':' && separator(path[2])) ||
           (path.size() >= 2 && separator(path[0]) && separator(path[1]));
}

}  // namespace

std::wstring WidePath(const char* path) {
    std::wstring wide = Widened(path, CP_UTF8);
    // CreateDirectoryW's own limit is MAX_PATH less room for an 8.3 name.
    if (wide.size() < MAX_PATH - 12 || !IsAbsolute(wide) || wide.compare(0, 4, L"\\\\?\\") == 0) {
        return wide;
    }
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) {
        return wide;
    }
    std::wstring full(n, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
    if (written == 0 || written >= n) {
        return wide;
    }
    full.resize(written);
    if (full.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

std::string Utf8Of(const wchar_t* text, int length) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return {};
    }
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], n, nullptr, nullptr);
    if (length < 0) {
        utf8.resize(static_cast<size_t>(n - 1));
    }
    return utf8;
}

std::string PathFromHostText(const char* text) {
    if (text == nullptr) {
        return {};
    }
    // CP_ACP is UTF-8 itself in a process whose manifest asks for it.
    const std::wstring wide = Widened(text, CP_ACP);
    return Utf8Of(wide.c_str());
}

}  // namespace vosk::platform
