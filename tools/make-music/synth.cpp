// synth.cpp: deterministic noise, sine, exponential, filters and quantisation
// for the sample generators.
// Owns: nothing global. Thread: any.
// Only + - * / and floor are used on doubles, so with IEEE arithmetic (and no
// fused multiply-add contraction, which standard C++ mode turns off) every
// platform computes the same frames.
#include "synth.h"

#include <cmath>

constexpr double TWO_PI = 2.0 * PI;
constexpr double HALF_PI = 0.5 * PI;
constexpr double LN2 = 0.69314718055994530942;

uint32_t Noise::next() {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

double Noise::uniform() { return static_cast<double>(next()) / 2147483648.0 - 1.0; }

double det_sin(double x) {
  double r = x - std::floor(x / TWO_PI + 0.5) * TWO_PI; // -pi .. pi
  if (r > HALF_PI) r = PI - r;
  if (r < -HALF_PI) r = -PI - r;
  // Taylor series to r^17: error below 1e-14 on -pi/2 .. pi/2.
  double r2 = r * r;
  double term = r;
  double sum = r;
  for (int k = 1; k <= 8; ++k) {
    term = -term * r2 / static_cast<double>((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

double det_cos(double x) { return det_sin(x + HALF_PI); }

double det_exp(double x) {
  if (x < -700.0) return 0.0;
  if (x > 700.0) x = 700.0;
  double k = std::floor(x / LN2 + 0.5);
  double r = x - k * LN2; // |r| <= 0.35
  double term = 1.0;
  double sum = 1.0;
  for (int n = 1; n <= 16; ++n) {
    term = term * r / static_cast<double>(n);
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(k)); // exact scaling by 2^k
}

double note_hz(int note) { return 440.0 * det_exp(static_cast<double>(note - 57) / 12.0 * LN2); }

void add_partials(std::vector<double>& buf, double rate, int start, const Partial* partials,
                  int count) {
  for (int p = 0; p < count; ++p) {
    const Partial& part = partials[p];
    double step = TWO_PI * part.hz / rate;
    double fall = det_exp(-1.0 / (part.decay * rate)); // per-frame decay factor
    double env = part.amplitude;
    for (size_t i = static_cast<size_t>(start); i < buf.size(); ++i) {
      double k = static_cast<double>(i - static_cast<size_t>(start));
      buf[i] += env * det_sin(step * k + part.phase);
      env *= fall;
    }
  }
}

void add_noise_burst(std::vector<double>& buf, double rate, int start, double amplitude,
                     double decay, Noise& noise) {
  double fall = det_exp(-1.0 / (decay * rate));
  double env = amplitude;
  for (size_t i = static_cast<size_t>(start); i < buf.size(); ++i) {
    buf[i] += env * noise.uniform();
    env *= fall;
  }
}

void lowpass(std::vector<double>& buf, double rate, double cutoff) {
  double a = 1.0 - det_exp(-TWO_PI * cutoff / rate);
  double y = 0.0;
  for (double& x : buf) {
    y += a * (x - y);
    x = y;
  }
}

void highpass(std::vector<double>& buf, double rate, double cutoff) {
  double a = 1.0 - det_exp(-TWO_PI * cutoff / rate);
  double low = 0.0;
  for (double& x : buf) {
    low += a * (x - low);
    x -= low;
  }
}

void normalise(std::vector<double>& buf, double peak) {
  double top = 0.0;
  for (double x : buf) top = std::fabs(x) > top ? std::fabs(x) : top;
  if (top == 0.0) return;
  double scale = peak / top;
  for (double& x : buf) x *= scale;
}

void fade_tail(std::vector<double>& buf, int frames) {
  int n = static_cast<int>(buf.size());
  if (frames > n) frames = n;
  for (int i = 0; i < frames; ++i) {
    buf[static_cast<size_t>(n - 1 - i)] *= static_cast<double>(i) / static_cast<double>(frames);
  }
}

static std::vector<int16_t> quantise(const std::vector<double>& buf, double full, int limit) {
  std::vector<int16_t> out(buf.size());
  for (size_t i = 0; i < buf.size(); ++i) {
    double v = std::floor(buf[i] * full + 0.5);
    if (v > limit) v = limit;
    if (v < -limit) v = -limit;
    out[i] = static_cast<int16_t>(v);
  }
  return out;
}

std::vector<int16_t> quantise16(const std::vector<double>& buf) {
  return quantise(buf, 32767.0, 32767);
}

std::vector<int16_t> quantise8(const std::vector<double>& buf) {
  return quantise(buf, 127.0, 127);
}
