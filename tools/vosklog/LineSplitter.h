// Cuts a byte stream into lines. A line ends at LF; a CR just before the LF
// belongs to the line end. Bytes are never interpreted otherwise: NUL and
// invalid UTF-8 are line content like any other.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vosklog {

class LineSplitter {
  public:
    // A line without its end; end is the line end as read ("\n", "\r\n",
    // or empty for a last line without one), right after the line.
    using LineHandler = std::function<void(const char* line, size_t length, size_t endLength)>;

    explicit LineSplitter(LineHandler handler) : handler_(std::move(handler)) {}

    // Hands every line that data completes to the handler, in order, and
    // keeps the rest for the next call.
    void Feed(const char* data, size_t length);
    // Hands out a last line that has no line end.
    void Finish();

    // Bytes kept of an unfinished line.
    size_t Pending() const { return pending_.size(); }

  private:
    void Emit(const char* line, size_t length, bool ended);
    // Keeps data as the start of a line. When memory runs out, what is
    // kept so far goes out as a line of its own: a line longer than memory
    // allows is cut, never lost.
    void Keep(const char* data, size_t length);

    LineHandler handler_;
    std::string pending_;
};

}  // namespace vosklog
