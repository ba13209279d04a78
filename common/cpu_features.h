// cpu_features.h: what the processor offers to the project's wide (SIMD)
// paths, asked on each call.
// Owns: nothing. The answers come from the compiler runtime's table of the
// processor's features, filled once by its own initialiser, so asking costs
// a call and a bit test and no answer is kept here (the music library holds
// no mutable state of its own). Touches: nothing. Thread: any.
//
// Call the question that names the instruction set a path is compiled for,
// for example `if (cpu_has_avx2()) blend_row_avx2(...)`. On x86-64 with GCC
// or Clang the answers come from __builtin_cpu_supports; every other target
// reports no wide path, so its callers take their scalar code. Header-only
// and self-contained: it includes nothing from the project, so any folder
// may use it.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QM_CPU_X86_64 1
#endif

// SSE2: part of every x86-64 processor.
inline bool cpu_has_sse2() {
#ifdef QM_CPU_X86_64
  return true;
#else
  return false;
#endif
}

// AVX: three-operand (VEX) forms of the 128-bit instructions, SSE4.1's
// included (signed 32 x 32 -> 64-bit products).
inline bool cpu_has_avx() {
#ifdef QM_CPU_X86_64
  return (__builtin_cpu_init(), __builtin_cpu_supports("avx"));
#else
  return false;
#endif
}

// AVX2: eight 32-bit lanes of integer arithmetic.
inline bool cpu_has_avx2() {
#ifdef QM_CPU_X86_64
  return (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#else
  return false;
#endif
}

// True on processors that run each 256-bit AVX2 instruction as two 128-bit
// halves and cross lanes slowly (AMD's families 15h and 17h before Zen 2):
// there a loop written for 128-bit vectors outruns its 256-bit twin.
inline bool cpu_splits_256bit() {
#ifdef QM_CPU_X86_64
  return (__builtin_cpu_init(), __builtin_cpu_is("amdfam15h") || __builtin_cpu_is("znver1"));
#else
  return false;
#endif
}

// AVX-512 Foundation: what the 16-value output conversion needs.
inline bool cpu_has_avx512f() {
#ifdef QM_CPU_X86_64
  return (__builtin_cpu_init(), __builtin_cpu_supports("avx512f"));
#else
  return false;
#endif
}

// The AVX-512 set the voice mixer's widest loop needs: Foundation, Doubleword
// and Quadword, Byte and Word, Vector Length extensions (and AVX2, which every
// such processor has and the loop's helpers use).
inline bool cpu_has_avx512_mixer() {
#ifdef QM_CPU_X86_64
  return cpu_has_avx2() && cpu_has_avx512f() && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#else
  return false;
#endif
}
