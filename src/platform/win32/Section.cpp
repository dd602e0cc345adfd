#include <windows.h>

#include <new>

#include "platform/Sync.h"

namespace vosk::platform {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(SectionStorage), "section storage too small");
static_assert(alignof(CRITICAL_SECTION) <= alignof(SectionStorage), "section storage misaligned");

static CRITICAL_SECTION* AsSection(SectionStorage* section) {
    return reinterpret_cast<CRITICAL_SECTION*>(section->bytes);
}

// A lock of the library is held for one write at most, shorter than the
// sleep and wake-up of a blocked thread: a waiter spins this many rounds
// before it blocks (on a single processor the system spins not at all).
constexpr DWORD kSpinCount = 4000;

void SectionInit(SectionStorage* section) {
    InitializeCriticalSectionAndSpinCount(new (section->bytes) CRITICAL_SECTION, kSpinCount);
}

void SectionDelete(SectionStorage* section) {
    DeleteCriticalSection(AsSection(section));
}

void SectionEnter(SectionStorage* section) {
    EnterCriticalSection(AsSection(section));
}

void SectionLeave(SectionStorage* section) {
    LeaveCriticalSection(AsSection(section));
}

// Windows has no fork.
void SectionReinitAfterFork(SectionStorage*) {}

bool SectionTryEnter(SectionStorage* section) {
    return TryEnterCriticalSection(AsSection(section)) != 0;
}

}  // namespace vosk::platform
