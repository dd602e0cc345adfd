#include "platform/posix/Fork.h"

#include <pthread.h>

namespace vosk::platform {

bool ForkHandlersRegister(ForkHandler prepare, ForkHandler parent, ForkHandler child) {
    // The runtime's pthread_atfork records the calling object's handle.
    return pthread_atfork(prepare, parent, child) == 0;
}

}  // namespace vosk::platform
