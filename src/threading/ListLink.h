// The link of a doubly linked chain that runs from a head sentinel (no prev)
// to a tail sentinel (no next). A link in no chain has neither.
#pragma once

#include <cstdint>

namespace vosk {

struct ListLink {
    ListLink* next = nullptr;
    ListLink* prev = nullptr;

    ListLink() = default;
    ~ListLink() {
        Unlink();
        Clear();
    }
    ListLink(const ListLink&) = delete;
    ListLink& operator=(const ListLink&) = delete;

    void Clear() {
        next = nullptr;
        prev = nullptr;
    }
    // The start of this link's chain: the head sentinel.
    ListLink* First();
    // The link at a position counted from the first member after First();
    // a position of 0 or less gives that first member. Null past the end.
    ListLink* At(int32_t position);
    void InsertAfter(ListLink* link);
    void InsertFront(ListLink* link);
    // After the link at the position when it is above 0, else at the front.
    void InsertAt(ListLink* link, int32_t position);
    // Unlinks and returns the link at the position, or null.
    ListLink* RemoveAt(int32_t position);
    // Leaves the chain; nothing when this link has no prev.
    void Unlink();
    // Called on a tail sentinel: the last member, or null when the chain
    // holds none (the link before it is the head).
    ListLink* LastMember();
};

}  // namespace vosk
