// Told when a log has moved its old backup aside to be deleted, so that the
// deletion follows soon and off the thread that rotated.
#pragma once

namespace vosk {

class RetireListener {
  public:
    virtual ~RetireListener() = default;
    // Called under the log's lock, from the thread that rotated: keep it
    // short and never call into the log.
    virtual void OnRetired() = 0;
};

}  // namespace vosk
