// loudness.cpp: K-weighting (a high shelf near 1.7 kHz and a high pass near
// 38 Hz, designed for the given rate), mean square per channel in 400 ms
// blocks every 100 ms, an absolute gate at -70 LUFS and a relative gate 10 LU
// below the loudness of the blocks that pass the first gate.
// Owns: nothing. Thread: any.
#include "tests/music-data/loudness.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace {

struct Biquad {
  double b0, b1, b2, a1, a2; // normalised (a0 = 1)
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double run(double x) {
    double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1; x1 = x; y2 = y1; y1 = y;
    return y;
  }
};

Biquad high_shelf(double rate) {
  const double gain_db = 3.999843853973347, f0 = 1681.974450955533, q = 0.7071752369554196;
  double k = std::tan(std::numbers::pi * f0 / rate);
  double vh = std::pow(10.0, gain_db / 20.0);
  double vb = std::pow(vh, 0.4996667741545416);
  double a0 = 1.0 + k / q + k * k;
  return {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
          2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

Biquad high_pass(double rate) {
  const double f0 = 38.13547087602444, q = 0.5003270373238773;
  double k = std::tan(std::numbers::pi * f0 / rate);
  double a0 = 1.0 + k / q + k * k;
  return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

double to_lufs(double power) { return -0.691 + 10.0 * std::log10(power); }

} // namespace

double integrated_loudness(const int16_t* frames, size_t frame_count, int32_t rate) {
  // Squared K-weighted signal, both channels summed (each with weight 1).
  std::vector<double> power(frame_count, 0.0);
  for (int c = 0; c < 2; ++c) {
    Biquad shelf = high_shelf(rate), pass = high_pass(rate);
    for (size_t i = 0; i < frame_count; ++i) {
      double y = pass.run(shelf.run(frames[2 * i + c] / 32768.0));
      power[i] += y * y;
    }
  }
  size_t block = static_cast<size_t>(rate) * 4 / 10, hop = static_cast<size_t>(rate) / 10;
  std::vector<double> blocks;
  for (size_t start = 0; start + block <= frame_count; start += hop) {
    double sum = 0.0;
    for (size_t i = start; i < start + block; ++i) sum += power[i];
    blocks.push_back(sum / static_cast<double>(block));
  }
  auto gated_mean = [&](double threshold_lufs) {
    double sum = 0.0;
    size_t n = 0;
    for (double z : blocks) {
      if (z > 0.0 && to_lufs(z) > threshold_lufs) { sum += z; ++n; }
    }
    return n ? sum / static_cast<double>(n) : 0.0;
  };
  double absolute = gated_mean(-70.0);
  if (absolute <= 0.0) return -70.0;
  double relative = gated_mean(to_lufs(absolute) - 10.0);
  return relative > 0.0 ? to_lufs(relative) : -70.0;
}
