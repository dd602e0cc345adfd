#include "platform/posix/NameMatch.h"

#include <cstring>

namespace vosk::platform {

namespace {

// Greedy matching that returns to the last '*' on a mismatch; linear in
// practice, and never recursive, whatever the pattern.
bool Glob(const char* p, const char* end, const char* s) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*s != '\0') {
        if (p < end && *p == '*') {
            star = p++;
            resume = s;
        } else if (p < end && (*p == '?' || *p == *s)) {
            ++p;
            ++s;
        } else if (star != nullptr) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (p < end && *p == '*') {
        ++p;
    }
    return p == end;
}

}  // namespace

bool NameMatches(const char* pattern, const char* name) {
    size_t n = strlen(pattern);
    if (Glob(pattern, pattern + n, name)) {
        return true;
    }
    return n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' &&
           Glob(pattern, pattern + n - 2, name);
}

}  // namespace vosk::platform
