// convert.cpp: turns the float mix of a block into signed 16-bit stereo PCM.
// This is the one place where the sum of all voices meets the 16-bit range:
// values round to the nearest integer (ties to even) and clip, never wrap.
// Owns: nothing. Touches: the two buffers it is given.
// Thread: the mixer thread, once per block after all mixing of the block.
#include <cmath>
#include <cstdint>

#include "music/voice.h"

constexpr float PCM16_MIN = -32768.0f;
constexpr float PCM16_MAX = 32767.0f;

// Rounds to the nearest integer, ties to even, then clamps to -32768..32767.
// The clamp comes first on the float so the integer conversion is always in
// range; since the bounds are integers this gives the same result. NaN gives 0.
static int16_t to_pcm16(float x) {
  float r = std::nearbyint(x);
  if (r >= PCM16_MAX) return INT16_MAX;
  if (r <= PCM16_MIN) return INT16_MIN;
  if (std::isnan(r)) return 0;
  return static_cast<int16_t>(static_cast<int32_t>(r));
}

void convert_to_pcm16(int16_t* out, const float* accum, int32_t frames) {
  if (out == nullptr || accum == nullptr || frames <= 0) return;
  int64_t count = int64_t{frames} * 2;
  for (int64_t i = 0; i < count; ++i) out[i] = to_pcm16(accum[i]);
}
