// Shared by the POSIX mutex and thread code.
#pragma once

#include <pthread.h>

namespace vosk::platform {

// Keeps a POSIX cancellation from acting inside our own waits: a
// pthread_cond_wait that is cancelled would unwind with the mutex taken
// and leave the object locked for good. The cancellation stays pending and
// acts at the thread's next cancellation point outside.
class CancelHold {
  public:
    CancelHold() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_); }
    ~CancelHold() {
        int ignored;
        pthread_setcancelstate(previous_, &ignored);
    }
    CancelHold(const CancelHold&) = delete;
    CancelHold& operator=(const CancelHold&) = delete;

  private:
    int previous_;
};

}  // namespace vosk::platform
