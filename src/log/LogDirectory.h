// The directory a log's file lives in, held open from the first open of
// the file on. Links on its path are followed then (an operator's linked
// log folder keeps working); from then on the file, its backup, the
// numbered names and the day archive are found, made and moved in the
// directory held, wherever it is, so that a link that later replaces the
// directory or one above it never leads the log's writes, moves or
// truncations out of its tree. A directory that has gone from its path is
// made again where it was found first, never through a link.
#pragma once

#include <memory>
#include <string>

#include "platform/HeldDirectory.h"

namespace vosk {

// A hold that the maintenance thread can keep for a look at the directory
// outside the log's lock, while the log goes on and may hold another.
using SharedHeldDirectory = std::shared_ptr<platform::HeldDirectory>;

class LogDirectory {
  public:
    LogDirectory() = default;
    LogDirectory(const LogDirectory&) = delete;
    LogDirectory& operator=(const LogDirectory&) = delete;

    // Holds the directory at path, making it and its parents first, unless
    // the directory held already is the one for path. False when there is
    // none to hold.
    bool Hold(const char* path);
    // When the directory held is no longer at its path (removed, moved,
    // replaced by a link), holds it made again where it was found first;
    // true when the directory held changed. A link in the way leaves the
    // directory held as it was.
    bool FollowVanished();
    // The path it was held for; empty until held.
    const std::string& Path() const { return path_; }
    // Null until held.
    const platform::HeldDirectory* Get() const { return held_.get(); }
    // The same, kept alive for as long as the caller holds it.
    SharedHeldDirectory Share() const { return held_; }

  private:
    void Replace(platform::HeldDirectory* held);

    SharedHeldDirectory held_;
    std::string path_;
};

// Makes the directories that name's separators ('/' or '\') close beneath
// dir, never through a link: the ones a log name with path parts needs.
void MakeDirectoriesBeneath(const platform::HeldDirectory* dir, const char* name);

}  // namespace vosk
