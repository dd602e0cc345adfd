// The C runtime's remove(), with the library's path spelling: '\' separates
// like '/', and paths are UTF-8 (on Windows through the wide call). Only
// tests remove entries this way; the library deletes through FileDelete and
// DirectoryRemove. The bodies are in tests/posix/support and
// tests/win32/support.
#pragma once

namespace vosk::test {

bool FileRemove(const char* path);  // false for null

}  // namespace vosk::test
