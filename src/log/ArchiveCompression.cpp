#include "log/ArchiveCompression.h"

#include <cstring>
#include <string>

#include "log/GzipCopy.h"
#include "platform/CatchAll.h"
#include "platform/DirectoryLock.h"
#include "platform/Files.h"

namespace vosk {

namespace {

bool Digits(const char* text, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        const bool closed = fd_ < 0 || platform::FileClose(fd_) == 0;
        fd_ = -1;
        return closed;
    }

  private:
    int fd_;
};

}  // namespace

bool IsArchivedName(const char* name, const char* base) {
    const size_t baseLength = strlen(base);
    if (strncmp(name, base, baseLength) != 0 || name[baseLength] != '.') {
        return false;
    }
    const char* time = name + baseLength + 1;
    // YYYYMMDD-HHMMSS
    if (strlen(time) < 15 || !Digits(time, 8) || time[8] != '-' || !Digits(time + 9, 6)) {
        return false;
    }
    const char* rest = time + 15;
    if (*rest == '\0') {
        return true;
    }
    if (rest[0] != '-' || !Digits(rest + 1, 3)) {
        return false;
    }
    return strcmp(rest + 4, "") == 0 || strcmp(rest + 4, "Z") == 0;
}

CompressResult CompressArchived(const platform::HeldDirectory* day, const char* name,
                                CompressStop stop, int64_t* bytesIn, int64_t* bytesOut) {
    CompressResult result = CompressResult::kFailed;
    // One compressor at a time in a day folder, whichever process it is in:
    // two would write one temporary name.
    const platform::DirectoryLock lock(day);
    platform::CatchAll([&] {
        const std::string gz = std::string(name) + ".gz";
        const std::string temporary = gz + ".tmp";
        const platform::EntryInfo before = platform::EntryIn(day, name);
        if (before.kind != platform::EntryKind::kPlainFile) {
            result = CompressResult::kNone;
            return;
        }
        // A ".gz" is only ever renamed from a whole ".tmp": the plain file
        // beside it is the one a stop kept from being deleted.
        if (platform::EntryIn(day, gz.c_str()).kind == platform::EntryKind::kPlainFile) {
            result = platform::EntryDeleteIn(day, name) ? CompressResult::kCompressed
                                                        : CompressResult::kFailed;
            return;
        }
        platform::EntryDeleteIn(day, temporary.c_str());
        Descriptor in(platform::FileOpenIn(day, name, platform::kOpenBinary));
        if (in.Get() < 0) {
            return;
        }
        Descriptor out(platform::FileOpenIn(
            day, temporary.c_str(),
            platform::kOpenCreate | platform::kOpenTruncate | platform::kOpenBinary));
        if (out.Get() < 0) {
            return;
        }
        int64_t read = 0;
        const bool whole =
            GzipCopy(in.Get(), out.Get(), static_cast<time_t>(before.writeTime), &read) &&
            platform::FileSync(out.Get());
        const bool closed = out.Close();
        in.Close();
        if (!whole || !closed) {
            platform::EntryDeleteIn(day, temporary.c_str());
            return;
        }
        if (stop != nullptr && stop(CompressStep::kTemporaryWritten)) {
            result = CompressResult::kStopped;
            return;
        }
        const platform::EntryInfo after = platform::EntryIn(day, name);
        const platform::EntryInfo written = platform::EntryIn(day, temporary.c_str());
        // Every write appends: a file written to meanwhile has grown.
        if (after.kind != platform::EntryKind::kPlainFile || after.size != read ||
            after.size != before.size || !(after.id == before.id)) {
            platform::EntryDeleteIn(day, temporary.c_str());
            result = CompressResult::kChanged;
            return;
        }
        if (!platform::FileMoveNoReplaceIn(day, temporary.c_str(), day, gz.c_str())) {
            platform::EntryDeleteIn(day, temporary.c_str());
            return;
        }
        if (stop != nullptr && stop(CompressStep::kRenamed)) {
            result = CompressResult::kStopped;
            return;
        }
        platform::EntryDeleteIn(day, name);
        if (bytesIn != nullptr) {
            *bytesIn = read;
        }
        if (bytesOut != nullptr) {
            *bytesOut = written.size;
        }
        result = CompressResult::kCompressed;
    });
    return result;
}

}  // namespace vosk
