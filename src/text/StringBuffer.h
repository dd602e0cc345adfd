// The string value used for every path, file name and directory name of
// the library: a TextBuffer that starts with 256 bytes and grows whenever
// it runs full.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "text/TextBuffer.h"

namespace vosk {

class StringBuffer : public TextBuffer {
  public:
    static constexpr int32_t kInitialSize = 256;
    // What a full buffer grows by at least.
    static constexpr int32_t kGrowStep = 256;

    StringBuffer();
    // Null text gives an empty buffer.
    explicit StringBuffer(const char* text);
    ~StringBuffer() override;

    // Grows the storage by at least kGrowStep; the room afterwards.
    int32_t Overflow() override;

    // Replaces the content by text (null: empties it).
    StringBuffer& Assign(const char* text);
    StringBuffer& operator=(const char* text) { return Assign(text); }

    // Empties the content.
    void Reset();
    // Stores a NUL after the content without counting it.
    void Terminate();
    // The content as NUL-terminated text. Valid until the next operation
    // that may grow the storage. "" when no storage can be obtained.
    const char* CStr();
    int32_t Length() const { return ContentLength(); }
    // Drops blanks and tabs at both ends.
    void Trim();

    // Appends v in decimal; the number of characters appended.
    int32_t AppendInt(int32_t v);
    // Replace the content by formatted text (the engine's conversion set).
    StringBuffer& Format(const char* format, ...);
    StringBuffer& FormatV(const char* format, va_list args);

    // Byte-for-byte equality with text; null text is never equal.
    bool operator==(const char* text);
    bool operator!=(const char* text);
    bool operator==(StringBuffer& other);
    bool operator!=(StringBuffer& other);
};

}  // namespace vosk
