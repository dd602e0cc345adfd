// Cuts the bytes of a log's files into records: a line that starts with a
// stamp begins one, and every following line that does not stays with it,
// as does a piece of a cut line (its stamp followed by '+').
// Text before a file's first stamp is a record of its own, at the time of
// the record before it. A local stamp from a fall-back hour is taken as
// the one of its two instants nearer to the record before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "LocalZone.h"
#include "Record.h"

namespace vosklogread {

class RecordReader {
  public:
    using Sink = std::function<void(Record&&)>;

    RecordReader(LocalZone* zone, Sink sink) : zone_(zone), sink_(std::move(sink)) {}

    // The instant taken as the last one read: where the next file's
    // reading starts when the files before it were passed by.
    void SetStartHint(int64_t ms) { lastMs_ = ms; }
    // Every line the bytes complete; the last record is held until the
    // next stamped line shows it complete, or FlushRecord.
    void Add(const char* data, size_t size);
    // Hands out the record held (nothing more is coming for now).
    void FlushRecord();
    // The end of a file: a last line without line end too.
    void EndFile();

    int64_t LastTimeMs() const { return lastMs_; }

  private:
    void Line(const char* line, size_t length);

    LocalZone* zone_;
    Sink sink_;
    std::string partial_;  // a line not yet ended
    Record held_;
    bool holding_ = false;
    int64_t lastMs_ = 0;
};

}  // namespace vosklogread
