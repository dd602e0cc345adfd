// A file's bytes into a gzip stream (RFC 1952, what gzip, zcat and zgrep
// read), with zlib.
#pragma once

#include <cstdint>
#include <ctime>

namespace vosk {

// Compresses everything that can be read from in, to its end, into out.
// modified goes into the gzip header as the original's time. False when
// reading, compressing or writing failed, or memory ran out; *bytesIn is
// what was read either way.
bool GzipCopy(int in, int out, time_t modified, int64_t* bytesIn);

}  // namespace vosk
