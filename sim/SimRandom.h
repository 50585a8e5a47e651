#pragma once
// SimRandom: a small seeded generator (splitmix64) whose sequence is the same on every platform
// and standard library, so that a seed always gives the same simulated workload.

#include <cstdint>

class SimRandom {
public:
    explicit SimRandom(uint64_t seed = 1) : State(seed) {}
    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi] (inclusive); lo when hi < lo.
    int64_t Range(int64_t lo, int64_t hi) {
        if (hi <= lo) return lo;
        return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
    }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
    bool Chance(double p) { return Unit() < p; }

private:
    uint64_t State;
};
