// What a file holds, in short: its length (modulo 2^32, as gzip keeps it)
// and a hash of its first bytes. A file that was read while it had one
// name is known again by it once it has been compressed into a new file
// under another name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vosklogread {

struct ContentKey {
    uint32_t size = 0;
    uint64_t head = 0;
    bool operator<(const ContentKey& other) const {
        return size != other.size ? size < other.size : head < other.head;
    }
    bool operator==(const ContentKey& other) const {
        return size == other.size && head == other.head;
    }
};

// Builds the key of the bytes given to it, in order.
class ContentKeeper {
  public:
    static constexpr size_t kHeadBytes = 4096;

    void Add(const char* data, size_t size);
    void Reset() { *this = ContentKeeper(); }
    ContentKey Key() const { return {static_cast<uint32_t>(size_), hash_}; }

  private:
    uint64_t size_ = 0;
    uint64_t hash_ = 14695981039346656037ULL;  // FNV-1a
};

// The key of a plain file as it is now; false when it cannot be read.
bool PlainContentKey(const std::string& path, ContentKey* key);

// The key of what a gzip file holds, from its trailer and its first bytes;
// false when it cannot be read.
bool CompressedContentKey(const std::string& path, ContentKey* key);

}  // namespace vosklogread
