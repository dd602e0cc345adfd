#include "threading/ListLink.h"

namespace vosk {

ListLink* ListLink::First() {
    ListLink* link = this;
    while (link->prev != nullptr) {
        link = link->prev;
    }
    return link;
}

ListLink* ListLink::At(int32_t position) {
    ListLink* link = First()->next;
    for (int32_t i = 0; i < position && link != nullptr; ++i) {
        link = link->next;
    }
    return link;
}

void ListLink::InsertAfter(ListLink* link) {
    link->next = next;
    if (next != nullptr) {
        next->prev = link;
    }
    next = link;
    link->prev = this;
}

void ListLink::InsertFront(ListLink* link) {
    First()->InsertAfter(link);
}

void ListLink::InsertAt(ListLink* link, int32_t position) {
    if (position > 0) {
        ListLink* at = At(position);
        if (at != nullptr) {
            at->InsertAfter(link);
        }
    } else {
        InsertFront(link);
    }
}

ListLink* ListLink::RemoveAt(int32_t position) {
    ListLink* link = At(position);
    if (link == nullptr) {
        return nullptr;
    }
    link->prev->next = link->next;
    if (link->next != nullptr) {
        link->next->prev = link->prev;
    }
    link->Clear();
    return link;
}

void ListLink::Unlink() {
    if (prev == nullptr) {
        return;
    }
    prev->next = next;
    if (next != nullptr) {
        next->prev = prev;
    }
    Clear();
}

ListLink* ListLink::LastMember() {
    if (prev != nullptr && prev->prev != nullptr) {
        return prev;
    }
    return nullptr;
}

}  // namespace vosk
