#include "RecordOutput.h"

#include "platform/Input.h"

namespace vosklogread {

namespace {
constexpr size_t kFlushAt = 256 * 1024;
}

void RecordOutput::Write(const Record& record) {
    buffer_ += record.text;
    if (buffer_.size() >= kFlushAt) {
        Flush();
    }
}

bool RecordOutput::Flush() {
    if (!failed_ && !buffer_.empty() &&
        !vosk::platform::OutputWrite(buffer_.data(), buffer_.size())) {
        failed_ = true;
    }
    buffer_.clear();
    return !failed_;
}

}  // namespace vosklogread
