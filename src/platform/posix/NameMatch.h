// Windows-style matching of one file name against the last component of a
// search pattern.
#pragma once

namespace vosk::platform {

// '*' matches any run of characters and '?' exactly one; case counts, as it
// does for the names themselves. As on Windows, a trailing ".*" may also
// match nothing at all, so "*.*" takes every name and "a.*" takes "a".
bool NameMatches(const char* pattern, const char* name);

}  // namespace vosk::platform
