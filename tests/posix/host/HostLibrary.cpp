#include <dlfcn.h>

#include "support/HostLibrary.h"

namespace vosk::test {

void* LibraryOpen(const char* path) {
    return path == nullptr ? nullptr : dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(void* library, const char* name) {
    return library == nullptr ? nullptr : dlsym(library, name);
}

bool LibraryClose(void* library) {
    return library != nullptr && dlclose(library) == 0;
}

}  // namespace vosk::test
