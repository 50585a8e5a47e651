#include "AllocationCount.h"

#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
// The program's own code lies between these two linker-defined symbols.
extern char __executable_start;
extern char etext;
}

namespace {

thread_local bench::AllocationCounts t_counts;  // trivial: no allocation when first touched

bool FromProgram(const void *caller) {
    return caller >= static_cast<const void *>(&__executable_start) &&
           caller < static_cast<const void *>(&etext);
}

void Count(const void *caller, std::size_t bytes) {
    if (FromProgram(caller)) {
        ++t_counts.Own;
        t_counts.OwnBytes += static_cast<std::int64_t>(bytes);
    } else {
        ++t_counts.Libraries;
        t_counts.LibraryBytes += static_cast<std::int64_t>(bytes);
    }
}

void *NewBlock(std::size_t bytes) {
    ++t_counts.Own;
    t_counts.OwnBytes += static_cast<std::int64_t>(bytes);
    return __libc_malloc(bytes ? bytes : 1);
}

}  // namespace

namespace bench {
AllocationCounts ThreadAllocations() { return t_counts; }
}  // namespace bench

extern "C" void *malloc(std::size_t bytes) {
    Count(__builtin_return_address(0), bytes);
    return __libc_malloc(bytes);
}

extern "C" void *calloc(std::size_t count, std::size_t size) {
    Count(__builtin_return_address(0), count * size);
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *block, std::size_t bytes) {
    Count(__builtin_return_address(0), bytes);
    return __libc_realloc(block, bytes);
}

void *operator new(std::size_t bytes) {
    if (void *p = NewBlock(bytes)) return p;
    throw std::bad_alloc();
}

void *operator new(std::size_t bytes, const std::nothrow_t &) noexcept { return NewBlock(bytes); }
