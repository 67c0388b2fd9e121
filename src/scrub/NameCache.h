// The masked names of regex matches a scrubber has already asked the map for: a flat table
// with open addressing, looked up once per match on the hot path (no node to chase, no
// division). Bounded: once full it stops taking names, and lookups go to the map.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace scrub {

class NameCache {
  public:
    explicit NameCache(size_t maxEntries) : maxEntries_(maxEntries) {}

    // The cached name of text, or null.
    const std::string* find(const char* text, size_t size) const {
        if (slots_.empty()) return nullptr;
        const uint64_t h = hash(text, size);
        for (size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.used) return nullptr;
            if (slot.hash == h && slot.key.size() == size &&
                memcmp(slot.key.data(), text, size) == 0) {
                return &slot.name;
            }
        }
    }
    // Remembers text's name unless the table is full.
    void insert(const std::string& text, const std::string& name) {
        if (count_ >= maxEntries_) return;
        if ((count_ + 1) * 2 > slots_.size()) grow();
        place(Slot{hash(text.data(), text.size()), true, text, name});
        ++count_;
    }

  private:
    struct Slot {
        uint64_t hash = 0;
        bool used = false;
        std::string key;
        std::string name;
    };

    static uint64_t hash(const char* text, size_t size) {
        // FNV-1a, then mixed: the low bits pick the slot.
        uint64_t h = 1469598103934665603ULL;
        for (size_t i = 0; i < size; ++i) h = (h ^ static_cast<unsigned char>(text[i])) * 1099511628211ULL;
        return h ^ (h >> 29);
    }
    void place(Slot&& slot) {
        size_t i = slot.hash & mask_;
        while (slots_[i].used) i = (i + 1) & mask_;
        slots_[i] = std::move(slot);
    }
    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.resize(old.empty() ? 64 : old.size() * 2);
        mask_ = slots_.size() - 1;
        for (Slot& slot : old)
            if (slot.used) place(std::move(slot));
    }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t count_ = 0;
    size_t maxEntries_;
};

}  // namespace scrub
