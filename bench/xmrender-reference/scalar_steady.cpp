// scalar_steady.cpp: the steady-stretch mixer of xmrender_reference. It takes
// the place of the optimised one at link time and runs the plain scalar loop,
// so the block fill mixes every voice exactly as mix_voices_reference does.
#include "music/mixer.h"

uint64_t mix_steady_fast(float* out, const int16_t* data, uint64_t pos, uint64_t step, int32_t n,
                         float gain_left, float gain_right) {
  return mix_steady_reference(out, data, pos, step, n, gain_left, gain_right);
}
