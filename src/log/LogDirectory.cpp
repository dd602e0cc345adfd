#include "log/LogDirectory.h"

#include <new>
#include <string>

#include "log/LogPaths.h"
#include "platform/Files.h"

namespace vosk {

bool LogDirectory::Hold(const char* path) {
    if (path == nullptr) {
        return false;
    }
    if (held_ != nullptr && path_ == path) {
        return true;
    }
    MakeParentDirectories(path);
    platform::DirectoryMake(path);
    platform::HeldDirectory* held = platform::DirectoryHold(path);
    if (held == nullptr) {
        return false;
    }
    Replace(held);
    path_ = path;
    return true;
}

bool LogDirectory::FollowVanished() {
    if (held_ == nullptr || platform::DirectoryIsAt(held_.get(), path_.c_str())) {
        return false;
    }
    platform::HeldDirectory* again = platform::DirectoryHoldAgain(held_.get());
    if (again == nullptr || platform::DirectorySame(again, held_.get())) {
        platform::DirectoryRelease(again);
        return false;
    }
    Replace(again);
    return true;
}

void LogDirectory::Replace(platform::HeldDirectory* held) {
    try {
        held_ = SharedHeldDirectory(held, &platform::DirectoryRelease);
    } catch (const std::bad_alloc&) {
        held_.reset();  // held was released by the deleter
    }
}

void MakeDirectoriesBeneath(const platform::HeldDirectory* dir, const char* name) {
    const std::string text(name == nullptr ? "" : name);
    const size_t last = text.find_last_of("/\\");
    if (dir == nullptr || last == std::string::npos || last == 0) {
        return;
    }
    platform::DirectoryRelease(platform::DirectoryHoldBeneath(dir, text.substr(0, last).c_str()));
}

}  // namespace vosk
