// The stamp that begins every record, "[%4d-%02d-%02d %02d:%02d:%02d.%03d] ",
// rendered by hand. Everything up to the milliseconds is the same for all
// records of one second, so it is rendered once per second and kept; a
// record of the same second only writes its three millisecond digits.
#pragma once

#include <cstdint>

#include "platform/Time.h"

namespace vosk {

class RecordStamp {
  public:
    // Renders the stamp of t; the text stays valid until the next call.
    // Fields out of their usual range are rendered in full, as printf would.
    const char* Render(const platform::LocalTime& t);
    int32_t Length() const { return length_; }

  private:
    // Every field at its widest (five digits for 16 bits), with the brackets.
    static constexpr int kRoom = 48;

    platform::LocalTime second_{};
    bool valid_ = false;
    int32_t prefix_ = 0;  // length up to and including the "."
    int32_t length_ = 0;
    char text_[kRoom] = {};
};

}  // namespace vosk
