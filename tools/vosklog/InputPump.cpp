#include "InputPump.h"

#include <vector>

#include "platform/Input.h"

namespace vosklog {

namespace {
constexpr size_t kReadSize = 65536;
}  // namespace

InputEnd PumpInput(LineSplitter& splitter, const std::function<void()>& onRequests) {
    std::vector<char> buffer(kReadSize);
    InputEnd end = InputEnd::kEnd;
    for (;;) {
        long n = vosk::platform::InputRead(buffer.data(), buffer.size());
        if (n > 0) {
            splitter.Feed(buffer.data(), static_cast<size_t>(n));
            continue;
        }
        if (n == vosk::platform::kInputRequest) {
            onRequests();
            continue;
        }
        if (n == vosk::platform::kInputStopped) {
            end = InputEnd::kStopped;
        } else if (n != vosk::platform::kInputEnd) {
            end = InputEnd::kError;
        }
        break;
    }
    splitter.Finish();
    return end;
}

}  // namespace vosklog
