// Finds, in one pass over a lower-case line, which literal rule texts occur in it at all, so
// that the rule loop searches only for the few rules a line can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scrub {

class LiteralPrefilter {
  public:
    // Registers a rule text under an id (ids are small, dense and may repeat texts).
    void add(const std::string& text, uint32_t id);
    // Builds the lookup tables; call once after the last add().
    void finish();
    bool empty() const { return long_.empty() && short_.empty(); }

    // Calls found(id) for every registered text that occurs in text (possibly more than once
    // per id).
    template <class Found>
    void scan(const char* text, size_t size, Found&& found) const;

  private:
    struct Entry {
        uint32_t head;  // the first four bytes as the scan loads them (long texts only)
        uint32_t id;
        std::string text;
    };
    uint32_t hash(uint32_t head) const { return (head * 0x9E3779B1u) >> shift_; }
    bool matches(const Entry& entry, const char* text, size_t size, size_t at) const;

    std::vector<Entry> long_;            // texts of 4 bytes and more, grouped by hash of their head
    std::vector<uint32_t> bucketStart_;  // long_[bucketStart_[h] .. bucketStart_[h + 1])
    std::vector<uint64_t> bucketUsed_;   // one bit per hash value
    unsigned shift_ = 20;
    std::vector<Entry> short_;         // texts of 1 to 3 bytes
    std::vector<uint64_t> firstByte_;  // 256 bits: bytes that begin a short text
};

inline bool LiteralPrefilter::matches(const Entry& entry, const char* text, size_t size,
                                      size_t at) const {
    const size_t n = entry.text.size();
    return at + n <= size && entry.text.compare(0, n, text + at, n) == 0;
}

template <class Found>
void LiteralPrefilter::scan(const char* text, size_t size, Found&& found) const {
    if (!long_.empty() && size >= 4) {
        const uint64_t* used = bucketUsed_.data();
        for (size_t i = 0; i + 4 <= size; ++i) {
            uint32_t head;
            __builtin_memcpy(&head, text + i, 4);
            const uint32_t h = hash(head);
            if (!((used[h >> 6] >> (h & 63)) & 1)) continue;
            for (uint32_t e = bucketStart_[h]; e < bucketStart_[h + 1]; ++e) {
                const Entry& entry = long_[e];
                if (entry.head == head && matches(entry, text, size, i)) found(entry.id);
            }
        }
    }
    if (!short_.empty()) {
        for (size_t i = 0; i < size; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (!((firstByte_[c >> 6] >> (c & 63)) & 1)) continue;
            for (const Entry& entry : short_) {
                if (matches(entry, text, size, i)) found(entry.id);
            }
        }
    }
}

}  // namespace scrub
