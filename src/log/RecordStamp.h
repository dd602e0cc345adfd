// The stamp that begins every record, rendered by hand in one of three
// forms (see SL_OPTION_STAMP in the header):
//   local         "[%4d-%02d-%02d %02d:%02d:%02d.%03d] "
//   local+offset  "[%4d-%02d-%02d %02d:%02d:%02d.%03d +hh:mm] "
//   UTC           "[%4d-%02d-%02d %02d:%02d:%02d.%03dZ] "
// Everything but the milliseconds is the same for all records of one
// second (and one offset), so it is rendered once per second and kept; a
// record of the same second only writes its three millisecond digits.
#pragma once

#include <cstdint>

#include "platform/Time.h"

namespace vosk {

// The numbers are SL_STAMP_*'s.
enum class StampForm : int32_t { kLocal = 0, kLocalOffset = 1, kUtc = 2 };

class RecordStamp {
  public:
    // Renders the stamp of t in form; the text stays valid until the next
    // call. Fields out of their usual range are rendered in full, as printf
    // would. kLocal reads t.local alone.
    const char* Render(const platform::ZonedTime& t, StampForm form);
    const char* Render(const platform::LocalTime& t) {
        return Render(platform::ZonedTime{t, 0}, StampForm::kLocal);
    }
    int32_t Length() const { return length_; }

    // t.local moved back by t's offset: the same moment in UTC.
    static platform::LocalTime Universal(const platform::ZonedTime& t);

  private:
    // Every field at its widest (five digits for 16 bits), the offset, the brackets.
    static constexpr int kRoom = 64;

    platform::ZonedTime second_{};
    StampForm form_ = StampForm::kLocal;
    bool valid_ = false;
    int32_t prefix_ = 0;  // length up to and including the "."
    int32_t length_ = 0;
    char text_[kRoom] = {};
};

}  // namespace vosk
