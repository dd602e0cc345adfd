#include "platform/Input.h"

namespace vosk::platform {

void StandardStreamsReserve() {}

}  // namespace vosk::platform
