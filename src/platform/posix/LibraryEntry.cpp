// Load, unload and process exit of the shared object.
//
// Both an unload (dlclose) and the process's exit run the hooks registered
// for this object, and they must be told apart: at exit the host's threads
// may still be inside the library, so the logs are closed but not freed.
// A second hook, registered under a handle of our own rather than the
// object's, runs at exit only (dlclose runs the object's hooks alone), and
// it runs first (hooks run in reverse order). At an unload that hook is
// taken off the list before the code it lives in goes away.
//
// fork() is handled here too: every lock of the library is held across it,
// and the child gets a maintenance thread of its own.
#include <cxxabi.h>
#include <pthread.h>

#include <atomic>

#include "platform/LibraryEntry.h"

extern "C" void* __dso_handle __attribute__((visibility("hidden")));

namespace {

// Only its address is used: the handle of the exit-only hook.
char exitOnlyHandle;
std::atomic<bool> unloading{false};
std::atomic<bool> exiting{false};

void OnProcessExit(void*) {
    if (!unloading.load()) {
        exiting.store(true);
    }
}

void OnUnloadOrExit(void*) {
    if (!exiting.load()) {
        unloading.store(true);
        abi::__cxa_finalize(&exitOnlyHandle);
    }
    vosk::OnLibraryDetach(exiting.load());
}

__attribute__((constructor)) void OnLoad() {
    vosk::OnLibraryAttach();
    // The runtime's pthread_atfork registers the handlers for this object:
    // an unload takes them off again.
    pthread_atfork(&vosk::OnForkPrepare, &vosk::OnForkParent, &vosk::OnForkChild);
    abi::__cxa_atexit(&OnUnloadOrExit, nullptr, &__dso_handle);
    abi::__cxa_atexit(&OnProcessExit, nullptr, &exitOnlyHandle);
}

}  // namespace
