// Told of every move of a log's file out of the way of a fresh one.
#pragma once

namespace vosk {

class RotationListener {
  public:
    virtual ~RotationListener() = default;
    // movedTo is where the file went. Called under the log's lock, from the
    // thread that rotated: keep it short and never call into the log.
    virtual void OnRotated(const char* movedTo) = 0;
};

}  // namespace vosk
