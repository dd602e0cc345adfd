#include "RecordReader.h"

#include <cstring>

#include "Stamp.h"

namespace vosklogread {

void RecordReader::Add(const char* data, size_t size) {
    size_t at = 0;
    while (at < size) {
        const void* found = memchr(data + at, '\n', size - at);
        if (found == nullptr) {
            partial_.append(data + at, size - at);
            return;
        }
        const size_t end = static_cast<size_t>(static_cast<const char*>(found) - data) + 1;
        if (partial_.empty()) {
            Line(data + at, end - at);
        } else {
            partial_.append(data + at, end - at);
            std::string line;
            line.swap(partial_);
            Line(line.data(), line.size());
        }
        at = end;
    }
}

void RecordReader::Line(const char* line, size_t length) {
    Stamp stamp;
    const bool stamped = ParseRecordStamp(line, length, &stamp);
    // "]+" marks the next piece of a line cut into several records: it
    // stays with the record it continues.
    const size_t mark = StampLength(stamp);
    if (stamped && !(holding_ && length > mark && line[mark] == '+')) {
        FlushRecord();
        if (stamp.zone == Stamp::Zone::kNone) {
            lastMs_ = zone_->Nearest(WallMs(stamp), lastMs_);
        } else {
            lastMs_ = ZonedMs(stamp);
        }
        held_.timeMs = lastMs_;
        held_.text.assign(line, length);
        holding_ = true;
        return;
    }
    if (!holding_) {
        held_.timeMs = lastMs_;
        held_.text.clear();
        holding_ = true;
    }
    held_.text.append(line, length);
}

void RecordReader::FlushRecord() {
    if (holding_) {
        holding_ = false;
        Record out;
        out.timeMs = held_.timeMs;
        out.text.swap(held_.text);
        sink_(std::move(out));
    }
}

void RecordReader::EndFile() {
    if (!partial_.empty()) {
        std::string line;
        line.swap(partial_);
        Line(line.data(), line.size());
    }
    FlushRecord();
}

}  // namespace vosklogread
