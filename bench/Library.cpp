#include "Library.h"

#include <dlfcn.h>

namespace bench {

namespace {

std::string gPathOverride;

template <class F>
bool Resolve(void* module, const char* name, F* out, std::string* error) {
    *out = reinterpret_cast<F>(dlsym(module, name));
    if (*out == nullptr) {
        *error = std::string("missing export ") + name;
        return false;
    }
    return true;
}

}  // namespace

std::string VoskLibrary::DefaultPath() {
    if (!gPathOverride.empty()) {
        return gPathOverride;
    }
#ifdef VOSK_BENCH_LIBRARY
    return VOSK_BENCH_LIBRARY;
#else
    return "";
#endif
}

bool VoskLibrary::Load(const std::string& path, std::string* error) {
    if (path.empty()) {
        *error = "the library was not built";
        return false;
    }
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* reason = dlerror();
        *error = reason != nullptr ? reason : "dlopen failed";
        return false;
    }
    path_ = path;
    bool ok = Resolve(module_, "SL_CreateLog", &api_.createLog, error) &&
              Resolve(module_, "SL_DestroyLog", &api_.destroyLog, error) &&
              Resolve(module_, "SL_ChangeLevel", &api_.changeLevel, error) &&
              Resolve(module_, "SL_TraceLog", &api_.traceLog, error) &&
              Resolve(module_, "SL_Print", &api_.print, error) &&
              Resolve(module_, "SL_Write", &api_.write, error) &&
              Resolve(module_, "SL_SetLogDiskLimit", &api_.setLogDiskLimit, error);
    if (!ok) {
        dlclose(module_);
        module_ = nullptr;
    }
    return ok;
}

bool VoskLibrary::Unload() {
    if (module_ == nullptr) {
        return true;
    }
    dlclose(module_);
    module_ = nullptr;
    api_ = VoskApi{};
    // A library that stays mapped (marked not to be deleted, or loaded
    // elsewhere too) has not run its destructors.
    void* still = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (still != nullptr) {
        dlclose(still);
        return false;
    }
    return true;
}

VoskLibrary& VoskLibrary::Shared() {
    static VoskLibrary library;
    return library;
}

void SetLibraryPath(const std::string& path) {
    gPathOverride = path;
}

}  // namespace bench
