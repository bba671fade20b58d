// Pseudo-random numbers for gennet. Everything is integer arithmetic written out here, so a
// seed yields the same netlist with every compiler, standard library and platform.
#pragma once

#include <cstdint>

namespace tambril::gennet {

// splitmix64: expands the user's seed into the generator state.
inline uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// xoshiro256**.
class Rng {
 public:
  explicit Rng(uint64_t seed) {
    uint64_t x = seed;
    for (uint64_t& word : s_) word = splitmix64(x);
  }

  uint64_t next() {
    const uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }

  uint32_t next32() { return static_cast<uint32_t>(next() >> 32); }

  // Uniform integer in [0, n), n >= 1: multiply-shift with rejection of the biased low range.
  uint32_t below(uint32_t n) {
    uint64_t m = static_cast<uint64_t>(next32()) * n;
    uint32_t low = static_cast<uint32_t>(m);
    if (low < n) {
      const uint32_t threshold = (0u - n) % n;
      while (low < threshold) {
        m = static_cast<uint64_t>(next32()) * n;
        low = static_cast<uint32_t>(m);
      }
    }
    return static_cast<uint32_t>(m >> 32);
  }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  uint64_t s_[4];
};

}  // namespace tambril::gennet
