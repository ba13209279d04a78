// mixer.h: the voice mixer: mix_voices, which the render uses, and its inner
// pieces for the tests: the shapes of the inner loops and the plain scalar
// one. mix_voices_reference mixes the same voices with the plain scalar
// loops and gives identical floats; the optimised loops are in mixer_fast.h.
// Thread: whichever thread renders the player; not shared.
#pragma once
#include <cstdint>

namespace qm {

struct Player;

// 32.32 positions: the weight of the top 31 fraction bits, the ones the
// interpolation uses (bit 0 never reaches it).
constexpr double FRACTION_UNIT = 0x1p-31;

// The signed whole part of a position; -1 reads the zero lead frames.
inline int32_t whole_part(uint64_t pos) { return static_cast<int32_t>(static_cast<uint32_t>(pos >> 32)); }

// Mixes n >= 0 frames of a steady stretch into out (2 * n floats): frame j
// at position P_j, with P_0 = pos and P_j+1 = (P_j with bit 0 cleared) + step
// (modulo 2^64; a backward step is the two's complement). Each frame adds
// x * gain_left and x * gain_right, x interpolated from data[i] and data[i+1]
// with the top 31 fraction bits. Returns the position after the last frame.
using SteadyMixer = uint64_t (*)(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                                 int32_t n, float gain_left, float gain_right);

// The plain scalar loop, two frames per iteration (a last odd one alone).
uint64_t mix_steady_reference(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                              int32_t n, float gain_left, float gain_right);

// Mixes n >= 1 frames of a gain ramp: frame j (positions as above) at gains
// left + j x inc_left and right + j x inc_right, which the caller has checked
// are exact doubles for j = 0..n, so they equal adding the increments frame
// after frame. Returns false, mixing nothing, when it cannot take the step;
// otherwise *pos is the position after the last frame.
using RampMixer = bool (*)(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n,
                           double left, double right, float inc_left, float inc_right);

// The plain scalar ramp loop.
bool mix_ramp_reference(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n,
                        double left, double right, float inc_left, float inc_right);

// Adds frames output frames of the player's voices 0..63 into accum (2 * frames
// floats). accum must hold no -0.0 (a buffer cleared to zeros and everything
// this function adds keep it so): a voice at gain 0 is then left out unmixed.

void mix_voices(Player* player, float* accum, int32_t frames);
// Leaves the player's voices 0..63 as mix_voices would after mixing
// `frames` frames (the same chunks, positions, directions and gain ramps),
// without mixing: for seeking. Voices that can never be heard again are
// left to release_unheard_voices, as in mixing.
void advance_voices(Player* player, int32_t frames);
// Stops the voices no channel plays any more that have faded to silence
// (they are never heard again, and mixing them only costs time); the block
// fill calls it once a block, before mixing or advancing.
void release_unheard_voices(Player* player);
// mix_voices with the steady stretches mixed by mix_steady_reference, or,
// with another interpolation than linear, every frame by the plain loop.
void mix_voices_reference(Player* player, float* accum, int32_t frames);
// mix_voices with the steady stretches mixed by the given loop and the ramps
// by the given ramp loop (null: the scalar one).
void mix_voices_using(Player* player, float* accum, int32_t frames, SteadyMixer steady, RampMixer ramp);

}  // namespace qm
