#include "log/GzipCopy.h"

#include <zlib.h>

#include <memory>
#include <new>

#include "platform/FileRead.h"
#include "platform/Files.h"

namespace vosk {

namespace {

constexpr size_t kChunk = 64 * 1024;
// windowBits 15 plus 16: a gzip header and trailer rather than zlib's.
constexpr int kGzipWindow = 15 + 16;
// zlib's default: most of the ratio of level 9 at a fraction of its time.
constexpr int kLevel = Z_DEFAULT_COMPRESSION;

bool WriteAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        const long n = platform::FileWrite(fd, data, size);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

class Deflater {
  public:
    Deflater() = default;
    ~Deflater() {
        if (started_) {
            deflateEnd(&stream_);
        }
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool Start(time_t modified) {
        started_ =
            deflateInit2(&stream_, kLevel, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!started_) {
            return false;
        }
        header_.time = static_cast<uLong>(modified);
        header_.os = 255;  // unknown: the same bytes from every system
        return deflateSetHeader(&stream_, &header_) == Z_OK;
    }
    // Compresses size bytes of data (finish: the last of them) into out.
    bool Put(const unsigned char* data, size_t size, bool finish, unsigned char* buffer, int out) {
        stream_.next_in = const_cast<unsigned char*>(data);
        stream_.avail_in = static_cast<uInt>(size);
        const int flush = finish ? Z_FINISH : Z_NO_FLUSH;
        int status = Z_OK;
        do {
            stream_.next_out = buffer;
            stream_.avail_out = static_cast<uInt>(kChunk);
            status = deflate(&stream_, flush);
            if (status == Z_STREAM_ERROR) {
                return false;
            }
            if (!WriteAll(out, buffer, kChunk - stream_.avail_out)) {
                return false;
            }
        } while (stream_.avail_out == 0);
        return !finish || status == Z_STREAM_END;
    }

  private:
    z_stream stream_{};
    gz_header header_{};
    bool started_ = false;
};

}  // namespace

bool GzipCopy(int in, int out, time_t modified, int64_t* bytesIn) {
    *bytesIn = 0;
    std::unique_ptr<unsigned char[]> input(new (std::nothrow) unsigned char[kChunk]);
    std::unique_ptr<unsigned char[]> output(new (std::nothrow) unsigned char[kChunk]);
    Deflater deflater;
    if (input == nullptr || output == nullptr || !deflater.Start(modified)) {
        return false;
    }
    for (;;) {
        const long n = platform::FileRead(in, input.get(), kChunk);
        if (n < 0) {
            return false;
        }
        *bytesIn += n;
        if (!deflater.Put(input.get(), static_cast<size_t>(n), n == 0, output.get(), out)) {
            return false;
        }
        if (n == 0) {
            return true;
        }
    }
}

}  // namespace vosk
