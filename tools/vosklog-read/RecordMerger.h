// Puts records in time order within a window. Threads stamp a record
// before they take the log's lock, so a file holds records up to some
// tens of milliseconds older than one before them; such a record is held
// back and goes out in its place, as long as it is no more than the window
// late. A later one still goes out, out of order: none is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "Record.h"

namespace vosklogread {

class RecordMerger {
  public:
    using Sink = std::function<void(const Record&)>;

    RecordMerger(int64_t windowMs, Sink sink) : windowMs_(windowMs), sink_(std::move(sink)) {}

    void Add(Record&& record);
    // Everything held, in time order.
    void Flush();
    bool Empty() const { return held_.empty(); }

  private:
    int64_t windowMs_;
    Sink sink_;
    // Equal times keep their order of arrival.
    std::multimap<int64_t, Record> held_;
    int64_t newest_ = INT64_MIN;
};

}  // namespace vosklogread
