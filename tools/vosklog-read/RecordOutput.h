// Standard output, buffered: the records as they were written.
#pragma once

#include <string>

#include "Record.h"

namespace vosklogread {

class RecordOutput {
  public:
    void Write(const Record& record);
    // False once standard output could not be written (closed by a
    // reader that had enough): nothing more is worth reading then.
    bool Flush();
    bool Failed() const { return failed_; }

  private:
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace vosklogread
