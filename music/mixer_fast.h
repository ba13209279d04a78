// mixer_fast.h: the optimised inner loops of the voice mixer (SSE2 in
// mixer_fast.cpp, AVX2 and AVX-512 in mixer_fast_avx.cpp) and the choice of
// the fastest one the processor runs. Each gives, to the bit, what the scalar
// loop of mixer.h gives for the same arguments.
// Owns: nothing; each player keeps the loops chosen at its creation.
// Thread: whichever thread mixes.
#pragma once
#include <cstdint>

#include "music/mixer.h"

namespace qm {

// Steady loops (SteadyMixer, mixer.h), each giving mix_steady_reference's
// floats. With SSE2 double arithmetic (the scalar loop elsewhere than x86-64):
uint64_t mix_steady_fast(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                         int32_t n, float gain_left, float gain_right);
// With AVX (128-bit lanes), AVX2 and AVX-512 (x86-64 only); call them only
// on a processor that has them (steady_path_supported).
uint64_t mix_steady_avx(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                        int32_t n, float gain_left, float gain_right);
uint64_t mix_steady_avx2(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                         int32_t n, float gain_left, float gain_right);
uint64_t mix_steady_avx512(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                           int32_t n, float gain_left, float gain_right);
// The gain-ramp loops (RampMixer, mixer.h) with AVX and AVX-512, under the same condition.
bool mix_ramp_avx(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n,
                  double left, double right, float inc_left, float inc_right);
bool mix_ramp_avx512(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n,
                     double left, double right, float inc_left, float inc_right);

// The optimised steady loops, from the baseline one up.
enum SteadyPath { STEADY_SSE2, STEADY_AVX, STEADY_AVX2, STEADY_AVX512, STEADY_PATH_COUNT };
// True when this build has the path and the processor can run it.
bool steady_path_supported(SteadyPath path);
// The path's loop; null when steady_path_supported(path) is false.
SteadyMixer steady_mixer(SteadyPath path);
// The path's ramp loop; null when it has none (SSE2 and AVX2) or is unsupported.
RampMixer ramp_mixer(SteadyPath path);
// The path mix_voices uses: the widest supported one, except AVX2 on a
// processor that splits 256-bit vectors (cpu_splits_256bit), where SSE2 is faster.
SteadyPath fastest_steady_path();
// Its loops (asked again on each call; the player keeps them from its creation).
SteadyMixer fastest_steady_mixer();
RampMixer fastest_ramp_mixer();
// Whether mix_voices stops the voices no one can hear any more (true; the
// scalar reference build says false, so that it mixes every voice as the
// plain mixer does and whole songs can be compared with it).
bool stops_unheard_voices();

}  // namespace qm
