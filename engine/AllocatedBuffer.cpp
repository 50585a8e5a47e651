#include "AllocatedBuffer.h"

#include <cstdlib>

AllocatedBuffer::AllocatedBuffer(unsigned elementSize) : ElementSize(elementSize) { Allocate(); }

AllocatedBuffer::~AllocatedBuffer() = default;

void AllocatedBuffer::Allocate() {
    Capacity = kInitialCapacity;
    void *block = std::malloc(static_cast<std::size_t>(Capacity) * ElementSize);
    if (!block) {
        Valid = false;
        return;
    }
    std::free(Data);
    Data = static_cast<char *>(block);
    Count = 0;
    Valid = true;
}

void AllocatedBuffer::Deallocate() {
    std::free(Data);
    Data = nullptr;
    Valid = false;
}

void AllocatedBuffer::Grow() {
    const std::size_t n = static_cast<std::size_t>(Capacity) * ElementSize;
    void *block = std::realloc(Data, n + static_cast<std::size_t>(kGrowBy) * ElementSize);
    if (!block) {  // realloc left the old block in place
        Valid = false;
        return;
    }
    Data = static_cast<char *>(block);
    Capacity += kGrowBy;
    Valid = true;
}

void AllocatedBuffer::Append(const void *record) {
    if (!Valid) return;
    if (Count == Capacity) {
        Grow();
        if (!Valid) return;
    }
    std::memcpy(At(Count), record, ElementSize);
    ++Count;
}

void AllocatedBuffer::Delete(int &index) {
    if (!Valid || index < 0 || index >= Count) return;
    std::memmove(At(index), At(index + 1), static_cast<std::size_t>(Count - index - 1) * ElementSize);
    --Count;
}

int AllocatedBuffer::FindText(int offset, const char *text) const {
    if (!Valid) return -1;
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
