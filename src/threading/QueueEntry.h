// One entry of a BlockingQueue: owns its payload and knows its queue's lock,
// signal and count, so that whoever holds it can destroy it at any time and
// it leaves its queue on its own.
//
// The entry's address is a handle that callers keep (a LogHandle). The
// payload is its first field, so the handle leads to the payload directly.
// The payload is deleted as a T, through T's virtual destructor when it has
// one (a Log), or as a plain record (a command).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "platform/Thread.h"
#include "threading/ListLink.h"
#include "threading/Lock.h"
#include "threading/Signal.h"

namespace vosk {

template <class T>
class BlockingQueue;

template <class T>
class QueueEntry {
  public:
    T* payload;                    // owned
    Lock* lock;                    // the queue's
    Signal* signal;                // the queue's
    ListLink link;                 // linked while link.next is set
    std::atomic<uint32_t>* count;  // the queue's

    // Removes the entry from its queue when it is still linked (the queue's
    // count drops, and its signal is reset when it was the last entry), then
    // destroys the payload. An entry must not outlive its queue.
    ~QueueEntry();

    QueueEntry(const QueueEntry&) = delete;
    QueueEntry& operator=(const QueueEntry&) = delete;

  private:
    friend class BlockingQueue<T>;
    QueueEntry(T* item, Lock* queueLock, Signal* queueSignal, std::atomic<uint32_t>* queueCount)
        : payload(item), lock(queueLock), signal(queueSignal), count(queueCount) {}
};

template <class T>
QueueEntry<T>::~QueueEntry() {
    static_assert(std::is_standard_layout<QueueEntry>::value,
                  "the payload must sit at the entry's own address");
    LockGuard guard(lock);
    if (link.next != nullptr && count != nullptr) {
        if (count->fetch_sub(1) == 1 && signal != nullptr) {
            signal->Reset();
        }
    }
    link.Unlink();
    // A payload's destructor may close files: a thread termination must not
    // act in there, where it could only abort the process.
    const int held = platform::ThreadHoldCancellation();
    std::unique_ptr<T>(payload).reset();
    platform::ThreadRestoreCancellation(held);
    payload = nullptr;
    signal = nullptr;
    lock = nullptr;
}

}  // namespace vosk
