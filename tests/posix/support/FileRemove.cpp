#include "support/FileRemove.h"

#include <cstdio>

#include "platform/posix/PosixPath.h"

namespace vosk::test {

bool FileRemove(const char* path) {
    if (path == nullptr) {
        return false;
    }
    platform::PosixPath p(path);
    return remove(p.c_str()) == 0;
}

}  // namespace vosk::test
