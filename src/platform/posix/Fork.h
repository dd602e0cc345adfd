// Handlers around fork(), for the shared object's entry point.
#pragma once

namespace vosk::platform {

using ForkHandler = void (*)();

// Runs prepare before every fork() in the forking thread, then parent and
// child after it in each process. Registered for the shared object this
// code is linked into, so that unloading it takes the handlers off again.
// False when they could not be registered.
bool ForkHandlersRegister(ForkHandler prepare, ForkHandler parent, ForkHandler child);

}  // namespace vosk::platform
