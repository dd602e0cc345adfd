// Paths reach the POSIX layer in the library's Windows-style spelling: both
// '\' and '/' separate components. The system only knows '/', so every
// call first turns backslashes into slashes.
#pragma once

#include <cstring>
#include <string>

namespace vosk::platform {

class PosixPath {
  public:
    explicit PosixPath(const char* path) {
        if (path == nullptr) {
            return;
        }
        size_t n = strlen(path);
        if (n < sizeof(small_)) {
            memcpy(small_, path, n + 1);
            data_ = small_;
        } else {
            large_.assign(path, n);
            data_ = &large_[0];
        }
        for (char* p = data_; *p != '\0'; ++p) {
            if (*p == '\\') {
                *p = '/';
            }
        }
    }
    PosixPath(const PosixPath&) = delete;
    PosixPath& operator=(const PosixPath&) = delete;

    // Null when the path given was null.
    const char* c_str() const { return data_; }

  private:
    char small_[512];
    std::string large_;
    char* data_ = nullptr;
};

}  // namespace vosk::platform
