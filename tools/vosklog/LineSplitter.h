// Cuts a byte stream into lines. A line ends at LF; a CR just before the LF
// belongs to the line end. Bytes are never interpreted otherwise: NUL and
// invalid UTF-8 are line content like any other.
//
// With a longest line, a line longer than that is handed out in pieces of
// that many bytes (the last one shorter), each as soon as it is read, so
// that what is kept of a line never outgrows it, however long the line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vosklog {

// A line, or a piece of one, without its end.
struct LinePiece {
    const char* data;
    size_t length;
    // The line end as read right after the piece: 1 for "\n", 2 for
    // "\r\n", 0 when the line goes on in the next piece or is a last line
    // without an end.
    size_t endLength;
    // A piece of the same line came before this one.
    bool continued;
};

class LineSplitter {
  public:
    using LineHandler = std::function<void(const LinePiece& piece)>;

    // maxLine 0: a line is handed out whole, whatever its length.
    LineSplitter(size_t maxLine, LineHandler handler)
        : maxLine_(maxLine), handler_(std::move(handler)) {}

    // Hands every line and piece that data completes to the handler, in
    // order, and keeps the rest for the next call.
    void Feed(const char* data, size_t length);
    // Hands out a last line that has no line end.
    void Finish();

    // Bytes kept of an unfinished line.
    size_t Pending() const { return pending_.size(); }

  private:
    void Emit(const char* data, size_t length, size_t endLength);
    // A line's content (length bytes, without the LF), in pieces when it is
    // longer than maxLine_; ended: an LF followed it.
    void EmitLine(const char* line, size_t length, bool ended);
    // Gathers part of a line that is not complete yet, handing out the
    // pieces it fills.
    void Gather(const char* data, size_t length);
    // Keeps data as the start of a line. When memory runs out, what is
    // kept so far goes out as a piece of its own: a line longer than memory
    // allows is cut, never lost.
    void Keep(const char* data, size_t length);

    const size_t maxLine_;
    LineHandler handler_;
    std::string pending_;
    bool continued_ = false;
};

}  // namespace vosklog
