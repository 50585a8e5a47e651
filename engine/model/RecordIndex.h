#pragma once
// RecordIndex: where the record with a given key sits in one of the server model's tables, found
// without a search of the table and without a copy of the key. A slot holds the key's 32-bit hash
// and the record's table position; a lookup probes the slots of the hash and asks the caller
// whether the record at a position has the key, so text keys cost no string and no allocation.
// Open addressing with linear probing in a power-of-two array kept at most half full; the array
// grows by doubling, which is its only allocation.
//
// Positions change when the table is compacted: Remap takes the old-to-new position map and
// rebuilds the slots from the hashes they hold, without reading a record.
//
// Threads: the model's (the main thread).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kivra {

// Hashes of the keys: a SPID, and zero-terminated texts of at most room bytes.
inline std::uint32_t HashInt(int value) {
    std::uint64_t h = static_cast<std::uint32_t>(value) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::uint32_t>(h >> 32);
}

// Continues hash h over the n bytes at p, eight at a time.
inline std::uint64_t HashBytes(std::uint64_t h, const char *p, std::size_t n) {
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 29;
    }
    // The last 0 to 7 bytes: two loads that may overlap, or single bytes, never past the end.
    std::uint64_t w = 0;
    if (n >= 4) {
        std::uint32_t first, last;
        std::memcpy(&first, p, 4);
        std::memcpy(&last, p + n - 4, 4);
        w = static_cast<std::uint64_t>(first) << 32 | last;
    } else if (n > 0) {
        w = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16 |
            static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
            static_cast<unsigned char>(p[n - 1]);
    }
    h = (h ^ w ^ (static_cast<std::uint64_t>(n) << 56)) * kMul;
    return h ^ (h >> 32);
}

inline std::uint32_t HashText(const char *text, std::size_t length) {
    return static_cast<std::uint32_t>(HashBytes(0, text, length));
}

// Two texts as one key: the first's length is part of the hash, so ("ab", "c") and ("a", "bc")
// differ.
inline std::uint32_t HashTextPair(const char *a, std::size_t aLength, const char *b,
                                  std::size_t bLength) {
    return static_cast<std::uint32_t>(HashBytes(HashBytes(aLength, a, aLength), b, bLength));
}

class RecordIndex {
public:
    // Empty, for about records entries, keeping the memory it has.
    void Reset(std::size_t records) {
        std::size_t capacity = 16;
        while (capacity < 2 * records) capacity *= 2;
        if (Slots.size() < capacity) Slots.resize(capacity);
        Mask = Slots.size() - 1;
        Clear();
    }

    void Insert(std::uint32_t hash, int position) {
        if (2 * (Used + 1) > Slots.size()) Grow();
        Place(hash, position);
    }

    // The position of the record with the key: is(position) tells whether the record there has
    // it. -1 when no slot of the hash has it. Stale is set when a slot of the hash points at a
    // record whose key has another hash (hashAt(position)): the table was reordered without
    // notice, and a miss cannot be trusted.
    template <typename Is, typename HashAt>
    int Find(std::uint32_t hash, Is is, HashAt hashAt, bool &stale) const {
        stale = false;
        if (Slots.empty()) return -1;
        for (std::size_t i = hash & Mask;; i = (i + 1) & Mask) {
            const Slot &s = Slots[i];
            if (s.Position < 0) return -1;
            if (s.Hash != hash) continue;
            if (is(s.Position)) return s.Position;
            if (hashAt(s.Position) != hash) stale = true;
        }
    }

    // After a compaction of the table from newPosition.size() records to newCount:
    // newPosition[old] is a record's new position, or -1 for a record that was removed. The
    // slots are placed again in table order, as a rebuild would place them.
    void Remap(const std::vector<int> &newPosition, int newCount) {
        Kept.assign(static_cast<std::size_t>(newCount), Slot{});
        for (const Slot &s : Slots) {
            if (s.Position < 0 || static_cast<std::size_t>(s.Position) >= newPosition.size())
                continue;
            const int to = newPosition[static_cast<std::size_t>(s.Position)];
            if (to >= 0 && to < newCount) Kept[static_cast<std::size_t>(to)] = {s.Hash, to};
        }
        Clear();
        for (const Slot &s : Kept)
            if (s.Position >= 0) Place(s.Hash, s.Position);
    }

private:
    struct Slot {
        std::uint32_t Hash = 0;
        int Position = -1;  // -1: empty
    };

    void Clear() {
        for (Slot &s : Slots) s.Position = -1;
        Used = 0;
    }
    void Place(std::uint32_t hash, int position) {
        std::size_t i = hash & Mask;
        while (Slots[i].Position >= 0) i = (i + 1) & Mask;
        Slots[i] = {hash, position};
        ++Used;
    }
    void Grow() {
        Kept.clear();
        for (const Slot &s : Slots)
            if (s.Position >= 0) Kept.push_back(s);
        Slots.assign(Slots.empty() ? 16 : 2 * Slots.size(), Slot{});
        Mask = Slots.size() - 1;
        Used = 0;
        for (const Slot &s : Kept) Place(s.Hash, s.Position);
    }

    std::vector<Slot> Slots;
    std::size_t Mask = 0;
    std::size_t Used = 0;
    std::vector<Slot> Kept;  // scratch of Remap and Grow
};

}  // namespace kivra
