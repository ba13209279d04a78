// loudness.h: integrated loudness of 16-bit stereo audio, K-weighted and
// gated in 400 ms blocks as the broadcast loudness meters do (LUFS).
// Owns: nothing. Thread: any.
#pragma once
#include <cstddef>
#include <cstdint>

// Loudness in LUFS of frames interleaved stereo frames (full scale 32768) at
// rate frames per second; -70 or below when everything is gated away.
double integrated_loudness(const int16_t* frames, size_t frame_count, int32_t rate);
