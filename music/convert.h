// convert.h: the conversion of a mixed float block to signed 16-bit stereo,
// where the sum of all voices meets the 16-bit range: round to the nearest
// integer (ties to even), clip, never wrap; NaN gives 0. Every path gives
// exactly what convert_to_pcm16_reference gives.
// Thread: any; the functions touch only the two buffers they are given.
#pragma once
#include <cstdint>

namespace qm {

// 2 * frames floats from accum into 2 * frames samples at out, through the
// widest path this processor runs. Nothing happens for null buffers or
// frames < 1.
void convert_to_pcm16(int16_t* out, const float* accum, int32_t frames);

// The plain scalar loop.
void convert_to_pcm16_reference(int16_t* out, const float* accum, int32_t frames);
// Eight values at a time with SSE2 (the scalar loop where the build has no SSE2).
void convert_to_pcm16_sse2(int16_t* out, const float* accum, int32_t frames);
// Sixteen values at a time with AVX-512 Foundation, the rest as convert_to_pcm16_sse2;
// call it only where cpu_has_avx512f() (common/cpu_features.h) is true. On a
// build without it this is convert_to_pcm16_sse2.
void convert_to_pcm16_avx512(int16_t* out, const float* accum, int32_t frames);

}  // namespace qm
