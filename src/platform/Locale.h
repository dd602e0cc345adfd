// What the C runtime's locale does to the numbers it writes.
#pragma once

namespace vosk::platform {

// The radix character (as text) of the calling thread's numeric locale,
// the one printf writes; "." in the "C" locale. Never null.
const char* NumericRadix();

}  // namespace vosk::platform
