// synth.h: deterministic building blocks for the generated samples: an
// integer noise source, sine and exponential from plain arithmetic (so the
// result does not depend on the platform's maths library), simple filters
// and the quantisation to 8- and 16-bit frames.
// Owns: nothing global; every generator carries its own state.
// Thread: any; no shared state.
#pragma once
#include <cstdint>
#include <vector>

constexpr double PI = 3.14159265358979323846;

// xorshift32: the same sequence on every platform for the same seed.
struct Noise {
  uint32_t state; // never 0
  explicit Noise(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
  uint32_t next();
  double uniform(); // -1 .. 1
};

// sin and exp computed with + - * / only (range reduction and series).
double det_sin(double x);
double det_cos(double x);
double det_exp(double x);

// Frequency of note n (0-based, 48 = C-4) in equal temperament, A-4 = 440 Hz.
double note_hz(int note);

// A decaying sine: amplitude * e^(-t / decay) * sin(2 pi hz t + phase).
struct Partial {
  double hz;        // frequency
  double amplitude; // peak at t = 0
  double decay;     // seconds to fall to 1/e
  double phase;     // radians
};
// Adds the partials to buf (frames at rate), starting at frame start.
void add_partials(std::vector<double>& buf, double rate, int start, const Partial* partials,
                  int count);

// Adds a burst of white noise: amplitude * e^(-t / decay), from frame start.
void add_noise_burst(std::vector<double>& buf, double rate, int start, double amplitude,
                     double decay, Noise& noise);

// One-pole filters over the whole buffer in place; cutoff in Hz.
void lowpass(std::vector<double>& buf, double rate, double cutoff);
void highpass(std::vector<double>& buf, double rate, double cutoff);

// Scales so that the largest magnitude is peak (0..1).
void normalise(std::vector<double>& buf, double peak);
// Linear fade to 0 over the last frames of buf.
void fade_tail(std::vector<double>& buf, int frames);

// Quantises -1..1 to signed frames, rounding to nearest; 8-bit gives -127..127.
std::vector<int16_t> quantise16(const std::vector<double>& buf);
std::vector<int16_t> quantise8(const std::vector<double>& buf);
