#include "support/FileRemove.h"

#include <cstdio>

#include "platform/win32/WideText.h"

namespace vosk::test {

bool FileRemove(const char* path) {
    return path != nullptr && _wremove(platform::WidePath(path).c_str()) == 0;
}

}  // namespace vosk::test
