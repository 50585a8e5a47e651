#pragma once
// The model's counters as the lists show and order them: differences wrap (two's complement)
// instead of overflowing, and the CPU and physical-IO figures count from the baseline while the
// table's baseline switch is on. Shared by the sorts, the fills and the session details.

#include <cstdint>

namespace kivra {

inline std::int64_t Less64(std::int64_t value, std::int64_t base) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(value) -
                                     static_cast<std::uint64_t>(base));
}

inline std::int32_t Less32(std::int32_t value, std::int32_t base) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) -
                                     static_cast<std::uint32_t>(base));
}

// R: a session, user or database record (CPU, PhysicalIO and their baselines).
template <typename R> std::int64_t ShownCPU(const R &r, bool baseline) {
    return baseline ? Less64(r.CPU, r.BaselineCPU) : r.CPU;
}
template <typename R> std::int64_t ShownPhysicalIO(const R &r, bool baseline) {
    return baseline ? Less64(r.PhysicalIO, r.BaselinePhysicalIO) : r.PhysicalIO;
}

}  // namespace kivra
