#include <clocale>

#include "platform/Locale.h"

namespace vosk::platform {

const char* NumericRadix() {
    // The runtime's record is only rewritten by setlocale.
    const std::lconv* conventions = std::localeconv();
    const char* radix = conventions != nullptr ? conventions->decimal_point : nullptr;
    return radix != nullptr && radix[0] != '\0' ? radix : ".";
}

}  // namespace vosk::platform
