// The paths of a log: where its directory is, a size probe, the
// creation of the directories that lead to a path, and an open that
// creates them first.
#pragma once

#include <cstdint>

#include "text/StringBuffer.h"

namespace vosk {

// The directory for text that a log is given: blanks and tabs at both ends
// dropped; the default ("<executable directory>/log_files") when nothing is
// left; taken from the executable's directory when relative. An absolute
// text starts at a root ('/' or '\') or names a drive ("C:"). Without an
// executable directory (empty) the default is "./log_files" and a relative
// text stays relative to the current directory. False, and out unchanged,
// for null text.
bool ResolveDirectory(const char* text, const char* executableDirectory, StringBuffer& out);

// The file's size in bytes; 0 when it cannot be examined (no such file).
// Sizes beyond the 32-bit range read as the largest 32-bit value.
int32_t FileSize(const char* path);

// Creates every missing directory that a separator ('/' or '\') in path
// closes, shortest first; the part after the last separator is not
// created. A network path (two leading backslashes) is walked from its
// first '$' only, so that server and share are never created, and not at
// all without one. Prefixes as long as the system's path limit or longer
// end the walk. Failures are ignored: the open that follows decides.
void MakeParentDirectories(const char* path);

// Opens path with platform::OpenFlags, creating its parent directories
// first when the flags ask for creation. The descriptor, or -1.
int OpenCreating(const char* path, int flags);

}  // namespace vosk
