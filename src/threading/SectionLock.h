// A process-local recursive lock: one Release for every Acquire, released
// only by the thread that holds it, no time-out.
#pragma once

#include "platform/Platform.h"
#include "threading/Lock.h"

namespace vosk {

class SectionLock : public NullLock {
  public:
    SectionLock() { platform::SectionInit(&section_); }
    ~SectionLock() override { platform::SectionDelete(&section_); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;

    void Acquire() override { platform::SectionEnter(&section_); }
    void Release() override { platform::SectionLeave(&section_); }

  private:
    platform::SectionStorage section_;
};

}  // namespace vosk
