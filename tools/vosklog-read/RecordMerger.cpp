#include "RecordMerger.h"

#include <utility>

namespace vosklogread {

void RecordMerger::Add(Record&& record) {
    if (windowMs_ <= 0) {
        sink_(record);
        return;
    }
    if (record.timeMs > newest_) {
        newest_ = record.timeMs;
    }
    const int64_t time = record.timeMs;
    held_.emplace_hint(held_.upper_bound(time), time, std::move(record));
    // Whatever is more than the window older than the newest record can
    // no longer be overtaken by one within the window.
    while (!held_.empty() && held_.begin()->first < newest_ - windowMs_) {
        sink_(held_.begin()->second);
        held_.erase(held_.begin());
    }
}

void RecordMerger::Flush() {
    for (const auto& [time, record] : held_) {
        sink_(record);
    }
    held_.clear();
}

}  // namespace vosklogread
