#pragma once
#include <cstdint>

namespace zl {

// Uniform integer draws for the spray and noise effects; tests inject a scripted source.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    // A draw below n: 0 .. n-1, and 0 when n is 0.
    virtual int Below(int n) = 0;
};

// A linear congruential generator: the effects draw millions of times per frame, so it is
// kept to one multiply per draw.
class LinearRandom : public RandomSource {
public:
    explicit LinearRandom(std::uint32_t seed = 0) : seed_(seed) {}
    int Below(int n) override {
        seed_ = seed_ * 134775813u + 1u;
        if (n <= 0) return 0;
        return static_cast<int>((static_cast<std::uint64_t>(seed_) * static_cast<std::uint32_t>(n)) >> 32);
    }

private:
    std::uint32_t seed_;
};

// The process's generator, seeded from the time of start.
RandomSource& ProcessRandom();

}  // namespace zl
