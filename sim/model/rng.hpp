// A small deterministic random source (SplitMix64). The standard distributions are not
// the same on every library, so the simulator draws its own numbers: one seed gives the
// same images and the same faults wherever it runs.
#pragma once

#include <cmath>
#include <cstdint>

namespace qtx::sim {

class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // Uniform in [lo, hi).
    double between(double lo, double hi) { return lo + (hi - lo) * uniform(); }

    // Uniform integer in [0, n); 0 when n is 0.
    std::uint32_t below(std::uint32_t n) {
        return n == 0 ? 0 : static_cast<std::uint32_t>((next() >> 32) % n);
    }

    // True with probability p.
    bool chance(double p) { return uniform() < p; }

    // Standard normal deviate (Box-Muller, one of the pair).
    double normal() {
        const double u1 = 1.0 - uniform();  // (0, 1]: the logarithm stays finite
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

  private:
    std::uint64_t state;
};

// Mixes a seed with a small number so that neighbouring streams are unrelated.
inline std::uint64_t mixSeed(std::uint64_t seed, std::uint64_t salt) {
    Rng r(seed ^ (salt * 0xD1B54A32D192ED03ULL));
    r.next();
    return r.next();
}

}  // namespace qtx::sim
