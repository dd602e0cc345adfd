// A doubly linked queue of entries, each owning one payload, with its own
// lock, a signal that is set exactly while the queue holds entries, and a
// count. Any thread may insert, take, look at and walk entries; a taker may
// wait for an entry with a time-out. The wait comes before the lock, so a
// waiting taker never holds it.
//
// Positions count entries from the first, which is 0. No operation lets an
// exception out: every step below is one that cannot throw.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/ThreadAnnotations.h"
#include "threading/FlagSignal.h"
#include "threading/ListLink.h"
#include "threading/QueueEntry.h"
#include "threading/SectionLock.h"

namespace vosk {

template <class T>
class BlockingQueue {
  public:
    using Entry = QueueEntry<T>;

    BlockingQueue();
    // Destroys every entry still queued, with its payload.
    ~BlockingQueue();
    BlockingQueue(const BlockingQueue&) = delete;
    BlockingQueue& operator=(const BlockingQueue&) = delete;

    // Takes ownership of the payload and links a new entry for it: first for
    // a position of 0 or less, last for a position of Count() or more.
    // Null for a null payload (nothing happens) and when no entry could be
    // made (the payload is then destroyed).
    Entry* Insert(std::unique_ptr<T> payload, int32_t position);
    // Unlinks the entry at the position (a negative one: the last) and hands
    // it to the caller. With a time-out above 0, first waits that long for
    // the queue to hold entries. Null when none was found.
    std::unique_ptr<Entry> Take(int32_t position, int32_t timeoutMs);
    // Lets a taker that waits now return at once, with no entry. The signal
    // is cleared again by the next Take that finds the queue empty.
    void Wake();
    // As Take, but the entry stays in the queue.
    Entry* Peek(int32_t position, int32_t timeoutMs);
    // The entry after this one; null after the last and for a taken entry.
    Entry* Next(const Entry* entry);
    // Destroys every entry, first to last. For a queue no other thread uses.
    void Drain();
    // Calls visit with every payload, first to last, holding the queue's
    // lock throughout. False, and nothing visited, when the lock cannot be
    // had within lockWaitMs (teardown at process exit, where a holder may
    // have been ended by the system).
    template <class Visit>
    bool VisitAll(Visit visit, int32_t lockWaitMs);

    // Around a fork: ForkPrepare takes the lock and then calls visit with
    // every payload (the lock stays held, so no list is half changed in the
    // child); ForkParent releases it; ForkChild makes the lock and signal
    // fresh, since the threads that held or waited for them are the
    // parent's. The lock is held from one call to the next, which the lock
    // analysis cannot follow.
    template <class Visit>
    void ForkPrepare(Visit visit) NO_THREAD_SAFETY_ANALYSIS;
    template <class Visit>
    void ForkParent(Visit visit) NO_THREAD_SAFETY_ANALYSIS;
    template <class Visit>
    void ForkChild(Visit visit) NO_THREAD_SAFETY_ANALYSIS;
    // May be read without the lock; it can be stale by the time it is used.
    uint32_t Count() const { return count_.load(); }

  private:
    // With the lock held: the link of the entry chosen by the position, or
    // null.
    ListLink* Find(int32_t position) REQUIRES(lock_);
    // With the lock held: calls visit with every payload, first to last.
    template <class Visit>
    void VisitEach(Visit& visit) REQUIRES(lock_) {
        for (ListLink* link = head_.next; link != nullptr && link != &tail_; link = link->next) {
            visit(EntryOf(link)->payload);
        }
    }
    Entry* EntryOf(ListLink* link) {
        return reinterpret_cast<Entry*>(reinterpret_cast<char*>(link) - offsetof(Entry, link));
    }

    ListLink head_ GUARDED_BY(lock_);
    ListLink tail_ GUARDED_BY(lock_);
    SectionLock lock_;
    FlagSignal signal_;
    std::atomic<uint32_t> count_{0};
};

template <class T>
BlockingQueue<T>::BlockingQueue() {
    signal_.Reset();
    head_.InsertAfter(&tail_);
}

template <class T>
BlockingQueue<T>::~BlockingQueue() {
    Drain();
}

template <class T>
QueueEntry<T>* BlockingQueue<T>::Insert(std::unique_ptr<T> payload, int32_t position) {
    if (payload == nullptr) {
        return nullptr;
    }
    // From here on the entry owns the payload; the queue owns the entry.
    Entry* entry = new (std::nothrow) Entry(payload.get(), &lock_, &signal_, &count_);
    if (entry == nullptr) {
        return nullptr;
    }
    payload.release();
    LockGuard guard(&lock_);
    const int64_t count = count_.load();
    if (position < count) {
        // Position 0 or less puts the entry first. A position strictly
        // inside the queue puts it after the entry at that position, so it
        // lands at position + 1. The library only appends, at a count read
        // just before; when another thread appended in between, that count is
        // the last entry's position and the new entry still comes last.
        head_.InsertAt(&entry->link, position);
    } else if (count == 0) {
        head_.InsertAfter(&entry->link);
    } else {
        tail_.LastMember()->InsertAfter(&entry->link);
    }
    count_.fetch_add(1);
    signal_.Set();
    return entry;
}

template <class T>
ListLink* BlockingQueue<T>::Find(int32_t position) {
    const uint32_t count = count_.load();
    if (position < 0) {
        return tail_.LastMember();
    }
    const uint32_t at = static_cast<uint32_t>(position);
    if (count == 0 || at >= count) {
        return nullptr;
    }
    if (at == count - 1) {
        return tail_.LastMember();  // no walk for the last entry
    }
    if (head_.next == &tail_) {
        return nullptr;
    }
    return head_.At(position);
}

template <class T>
std::unique_ptr<QueueEntry<T>> BlockingQueue<T>::Take(int32_t position, int32_t timeoutMs) {
    if (timeoutMs > 0 && signal_.Wait(timeoutMs) != 0) {
        return nullptr;
    }
    LockGuard guard(&lock_);
    ListLink* link = Find(position);
    if (link == nullptr) {
        if (count_.load() == 0) {
            signal_.Reset();  // after a Wake
        }
        return nullptr;
    }
    link->Unlink();
    if (count_.fetch_sub(1) == 1) {
        signal_.Reset();
    }
    return std::unique_ptr<Entry>(EntryOf(link));
}

template <class T>
void BlockingQueue<T>::Wake() {
    LockGuard guard(&lock_);
    signal_.Set();
}

template <class T>
QueueEntry<T>* BlockingQueue<T>::Peek(int32_t position, int32_t timeoutMs) {
    if (timeoutMs > 0 && signal_.Wait(timeoutMs) != 0) {
        return nullptr;
    }
    LockGuard guard(&lock_);
    ListLink* link = Find(position);
    return link != nullptr ? EntryOf(link) : nullptr;
}

template <class T>
QueueEntry<T>* BlockingQueue<T>::Next(const Entry* entry) {
    if (entry == nullptr) {
        return nullptr;
    }
    LockGuard guard(&lock_);
    ListLink* next = entry->link.next;
    if (next == nullptr || next == &tail_) {
        return nullptr;
    }
    return EntryOf(next);
}

template <class T>
template <class Visit>
bool BlockingQueue<T>::VisitAll(Visit visit, int32_t lockWaitMs) {
    if (!lock_.TryAcquireFor(lockWaitMs)) {
        return false;
    }
    VisitEach(visit);
    lock_.Release();
    return true;
}

template <class T>
template <class Visit>
void BlockingQueue<T>::ForkPrepare(Visit visit) {
    lock_.Acquire();
    VisitEach(visit);
}

template <class T>
template <class Visit>
void BlockingQueue<T>::ForkParent(Visit visit) {
    VisitEach(visit);
    lock_.Release();
}

template <class T>
template <class Visit>
void BlockingQueue<T>::ForkChild(Visit visit) {
    lock_.ReinitAfterFork();
    signal_.ReinitAfterFork();
    VisitEach(visit);
}

template <class T>
void BlockingQueue<T>::Drain() {
    while (Take(0, 0) != nullptr) {
    }
    signal_.Reset();
}

}  // namespace vosk
