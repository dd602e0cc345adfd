#include <langinfo.h>

#include "platform/Locale.h"

namespace vosk::platform {

const char* NumericRadix() {
    // Unlike localeconv, which fills one static record on every call, this
    // only reads the thread's locale: safe from any thread, and cheap.
    const char* radix = nl_langinfo(RADIXCHAR);
    return radix != nullptr && radix[0] != '\0' ? radix : ".";
}

}  // namespace vosk::platform
