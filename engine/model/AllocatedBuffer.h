#pragma once
// A growable array of fixed-size records stored by value in one contiguous block: the container
// behind each of the server model's four tables. Records are plain bytes (trivially copyable),
// copied in and moved about with memory copies. Capacity starts at 150 and grows by 25.
//
// A failed allocation leaves the table not Valid (no exception escapes): appends then do nothing,
// lookups return -1, Delete and Grow do nothing, until the next successful Allocate. Readers walk
// the first Count records of a Valid table only. A record's address is valid only until the next
// append or removal on the same table.
//
// Main thread only. The owner calls Deallocate before deleting it (the destructor also frees a
// block that is still held, so a forgotten Deallocate does not leak).

#include <cstddef>
#include <cstring>
#include <type_traits>

class AllocatedBuffer {
public:
    static constexpr int kInitialCapacity = 150;
    static constexpr int kGrowBy = 25;

    explicit AllocatedBuffer(unsigned elementSize);
    ~AllocatedBuffer();
    AllocatedBuffer(const AllocatedBuffer &) = delete;
    AllocatedBuffer &operator=(const AllocatedBuffer &) = delete;

    void Allocate();    // a new, empty block of 150 records
    void Deallocate();  // frees the block; not Valid
    void Grow();        // 25 records more, same contents; a table that is not Valid stays so
    // Empty with Capacity 150, as Deallocate followed by Allocate leaves a table, but the memory
    // already held is kept for the records to come (a table refilled at every poll then stops
    // reallocating once it has reached its size). Allocates when no block is held.
    void Clear();

    // Copies ElementSize bytes from record into slot Count (growing when full); does nothing
    // when not Valid.
    void Append(const void *record);
    // The same for a record object. Pointers go to the overload above (they point at the
    // record), and a record whose size is not ElementSize is refused rather than over-read.
    template <typename T, std::enable_if_t<!std::is_pointer_v<T>, int> = 0>
    void Append(const T &record) {
        static_assert(std::is_trivially_copyable_v<T>, "records are copied as bytes");
        if (sizeof(T) != ElementSize) return;
        Append(static_cast<const void *>(&record));
    }

    // Appends a record of ElementSize zero bytes (growing when full) and returns it, for the
    // caller to fill in place; nullptr, and nothing appended, when not Valid or it cannot grow.
    void *AppendZeroed();

    // Removes the record at index (records after it move down); indexes outside 0 .. Count - 1
    // do nothing. index is not changed, so a forward walk looks at the same index again.
    void Delete(int &index);

    // First record whose zero-terminated text at offset equals text (bytes), or -1.
    int FindText(int offset, const char *text) const;
    // First record whose 32-bit integer at offset equals value, or -1.
    int FindInt(int offset, int value) const;

    // Record index of a Valid table, 0 <= index < Count; no check.
    void *At(int index) const { return Data + static_cast<std::size_t>(index) * ElementSize; }
    template <typename T> T &Item(int index) const { return *static_cast<T *>(At(index)); }

    bool Valid = false;
    int Capacity = 0;
    int Count = 0;
    unsigned ElementSize;
    char *Data = nullptr;

private:
    bool Resize(int records);  // the block to hold records; false (block unchanged) on failure
    // Records the block can physically hold, at least Capacity. Grow takes memory ahead of need
    // (half as much again), so a large table is reallocated a few dozen times, not once per 25.
    int Reserved = 0;
};
