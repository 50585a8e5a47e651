#pragma once
// Heap allocations made on the calling thread, counted by the benchmark program itself: the
// program replaces malloc, calloc, realloc and operator new with counting forwards to the C
// library's allocator. An allocation is the program's own when operator new made it or the
// program's code called malloc (the project's libraries are linked statically into the program);
// the libraries' when a shared library called malloc (the ODBC driver manager and driver, the C
// library's character conversion). Link the library bench_allocation_count into a benchmark to
// have them counted; without it nothing is counted.
//
// Threads: each thread counts its own allocations; read them on that thread.

#include <cstdint>

namespace bench {

struct AllocationCounts {
    std::int64_t Own = 0, OwnBytes = 0;
    std::int64_t Libraries = 0, LibraryBytes = 0;
};

// The calling thread's allocations since it started.
AllocationCounts ThreadAllocations();

inline AllocationCounts operator-(const AllocationCounts &a, const AllocationCounts &b) {
    return {a.Own - b.Own, a.OwnBytes - b.OwnBytes, a.Libraries - b.Libraries,
            a.LibraryBytes - b.LibraryBytes};
}

}  // namespace bench
