#include <dlfcn.h>

#include "platform/Module.h"
#include "platform/posix/PosixPath.h"

namespace vosk::platform {

Handle LibraryOpen(const char* path) {
    return path == nullptr ? nullptr : dlopen(PosixPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(Handle library, const char* name) {
    return library == nullptr ? nullptr : dlsym(library, name);
}

bool LibraryClose(Handle library) {
    return library != nullptr && dlclose(library) == 0;
}

}  // namespace vosk::platform
