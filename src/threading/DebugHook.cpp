#include "threading/DebugHook.h"

namespace vosk {

void IgnoreDebugMessage(int32_t, const char*, ...) {}

DebugHookFunction DebugHook = IgnoreDebugMessage;

}  // namespace vosk
