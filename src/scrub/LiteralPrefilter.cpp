// Tables of the literal prefilter: texts of four bytes and more are found through a hash of
// their first four bytes (one bit test per position of the line); shorter texts, rare in
// practice, through a table of their first bytes.
#include "scrub/LiteralPrefilter.h"

#include <algorithm>

namespace scrub {

void LiteralPrefilter::add(const std::string& text, uint32_t id) {
    if (text.empty()) return;
    Entry entry{0, id, text};
    if (text.size() >= 4) __builtin_memcpy(&entry.head, text.data(), 4);
    (text.size() >= 4 ? long_ : short_).push_back(std::move(entry));
}

void LiteralPrefilter::finish() {
    // About 64 hash values per text keeps false hits rare; 2^10 to 2^16 values.
    unsigned bits = 10;
    while (bits < 16 && (size_t{1} << bits) < long_.size() * 64) ++bits;
    shift_ = 32 - bits;
    const size_t buckets = size_t{1} << bits;
    std::stable_sort(long_.begin(), long_.end(), [this](const Entry& a, const Entry& b) {
        return hash(a.head) < hash(b.head);
    });
    bucketStart_.assign(buckets + 1, 0);
    bucketUsed_.assign(buckets / 64, 0);
    for (const Entry& entry : long_) {
        const uint32_t h = hash(entry.head);
        ++bucketStart_[h + 1];
        bucketUsed_[h >> 6] |= uint64_t{1} << (h & 63);
    }
    for (size_t h = 0; h < buckets; ++h) bucketStart_[h + 1] += bucketStart_[h];
    firstByte_.assign(4, 0);
    for (const Entry& entry : short_) {
        const unsigned char c = static_cast<unsigned char>(entry.text[0]);
        firstByte_[c >> 6] |= uint64_t{1} << (c & 63);
    }
}

}  // namespace scrub
