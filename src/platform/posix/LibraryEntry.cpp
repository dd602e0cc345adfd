// Load and unload of the shared object. Unload needs no hook here: the
// registry's destruction is on the exit list, which runs at dlclose.
#include "api/LibraryHooks.h"

namespace {

__attribute__((constructor)) void OnLoad() {
    vosk::OnLibraryAttach();
}

}  // namespace
