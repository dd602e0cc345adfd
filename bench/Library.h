// The built library, loaded as a host loads it: dlopen of the file and
// dlsym of the exported functions.
#pragma once

#include <string>

#include "VOSK_Log.h"

namespace bench {

struct VoskApi {
    decltype(&SL_CreateLog) createLog = nullptr;
    decltype(&SL_DestroyLog) destroyLog = nullptr;
    decltype(&SL_ChangeLevel) changeLevel = nullptr;
    decltype(&SL_TraceLog) traceLog = nullptr;
    decltype(&SL_Print) print = nullptr;
    decltype(&SL_Write) write = nullptr;
    decltype(&SL_SetLogDiskLimit) setLogDiskLimit = nullptr;
};

class VoskLibrary {
  public:
    // The file given by --library=, else the one this benchmark was built with.
    static std::string DefaultPath();

    // False, with the reason in error, when the file or a function is missing.
    bool Load(const std::string& path, std::string* error);
    // dlclose; true when the library is no longer mapped afterwards.
    bool Unload();
    const VoskApi& Api() const { return api_; }
    bool Loaded() const { return module_ != nullptr; }

    // The process-wide copy that the throughput workloads share.
    static VoskLibrary& Shared();

  private:
    void* module_ = nullptr;
    std::string path_;
    VoskApi api_;
};

// Replaces the built-in path (the --library= option).
void SetLibraryPath(const std::string& path);

}  // namespace bench
