#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Input.h"

namespace vosk::platform {

void StandardStreamsReserve() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // open() takes the lowest free number: this one, as the lower ones
        // are open by now.
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0) {
            close(opened);
        }
    }
}

}  // namespace vosk::platform
