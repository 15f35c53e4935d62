#include <zem/core/ZEMRandom.h>

#include <chrono>
#include <cstdint>

namespace {

// Each thread draws from its own state, so threads do not disturb each other's sequences.
thread_local uint32_t state = 1;

unsigned Draw() {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
}

} // namespace

namespace ZEM {

void RandomInit(unsigned seed) {
    if (seed == 0) {
        using namespace std::chrono;
        auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        seed = static_cast<unsigned>((ms + 500) / 1000); // the nearest whole second
    }
    state = seed;
}

unsigned Randomi() {
    return Draw();
}

unsigned Randomi(unsigned n) {
    return static_cast<unsigned>((static_cast<uint64_t>(Draw()) * n) >> 15);
}

float Randomf() {
    return static_cast<float>(Draw()) / 32768.0f;
}

float Randomf(float x) {
    return Randomf() * x;
}

} // namespace ZEM
