#include "AllocatedBuffer.h"

#include <climits>
#include <cstdlib>
#include <cstring>

AllocatedBuffer::AllocatedBuffer(unsigned elementSize) : ElementSize(elementSize) { Allocate(); }

AllocatedBuffer::~AllocatedBuffer() { std::free(Data); }

void AllocatedBuffer::Allocate() {
    Capacity = kInitialCapacity;
    // A zero-byte request may legally return null; ask for at least one byte.
    const std::size_t bytes = static_cast<std::size_t>(Capacity) * ElementSize;
    void *block = std::malloc(bytes ? bytes : 1);
    if (!block) {
        Valid = false;
        return;
    }
    std::free(Data);
    Data = static_cast<char *>(block);
    Reserved = Capacity;
    Count = 0;
    Valid = true;
}

void AllocatedBuffer::Deallocate() {
    std::free(Data);
    Data = nullptr;
    Reserved = 0;
    Valid = false;
}

void AllocatedBuffer::Clear() {
    if (!Valid || !Data || Reserved < kInitialCapacity) {
        Allocate();
        return;
    }
    Capacity = kInitialCapacity;
    Count = 0;
}

bool AllocatedBuffer::Resize(int records) {
    const std::size_t bytes = static_cast<std::size_t>(records) * ElementSize;
    void *block = std::realloc(Data, bytes ? bytes : 1);
    if (!block) return false;  // realloc left the old block and its contents in place
    Data = static_cast<char *>(block);
    Reserved = records;
    return true;
}

void AllocatedBuffer::Grow() {
    // Without a valid block there is nothing to keep: growing would expose stale Count records.
    if (!Valid || !Data) return;
    if (Capacity > INT_MAX - kGrowBy) {
        Valid = false;
        return;
    }
    const int wanted = Capacity + kGrowBy;
    if (wanted > Reserved) {
        const int ahead = Capacity / 2 > kGrowBy && Capacity <= INT_MAX - Capacity / 2
                              ? Capacity + Capacity / 2
                              : wanted;
        // Memory ahead of need is a convenience: when it cannot be had, the exact size is tried.
        if (!(ahead > wanted && Resize(ahead)) && !Resize(wanted)) {
            Valid = false;
            return;
        }
    }
    Capacity = wanted;
    Valid = true;
}

void AllocatedBuffer::Append(const void *record) {
    if (!Valid || !record) return;
    if (Count == Capacity) {
        Grow();
        if (!Valid) return;
    }
    std::memcpy(At(Count), record, ElementSize);
    ++Count;
}

void *AllocatedBuffer::AppendZeroed() {
    if (!Valid) return nullptr;
    if (Count == Capacity) {
        Grow();
        if (!Valid) return nullptr;
    }
    void *record = At(Count);
    std::memset(record, 0, ElementSize);
    ++Count;
    return record;
}

void AllocatedBuffer::Delete(int &index) {
    if (!Valid || index < 0 || index >= Count) return;
    std::memmove(At(index), At(index + 1),
                 static_cast<std::size_t>(Count - index - 1) * ElementSize);
    --Count;
}

int AllocatedBuffer::FindText(int offset, const char *text) const {
    if (!Valid || !text) return -1;
    for (int i = 0; i < Count; ++i)
        if (std::strcmp(static_cast<const char *>(At(i)) + offset, text) == 0) return i;
    return -1;
}

int AllocatedBuffer::FindInt(int offset, int value) const {
    if (!Valid) return -1;
    for (int i = 0; i < Count; ++i) {
        int v;
        std::memcpy(&v, static_cast<const char *>(At(i)) + offset, sizeof v);
        if (v == value) return i;
    }
    return -1;
}
