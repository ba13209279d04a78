// blend_wide.cpp: the SSE2 and AVX2 paths of the three blends.
// Owns: nothing. Touches: the pixels of the target image only; sources and
// masks are only read. Thread: main thread only.
//
// A blend runs a row at a time: groups of eight pixels with AVX2 (that path
// only), groups of four with SSE2, and the row's tail with the scalar blend.
// The AVX2 code is compiled for that instruction set function by function,
// so the build itself assumes only what every x86-64 processor has; the
// caller checks the processor before it takes the AVX2 path.
#include "gfx/blend_wide.h"

#include "common/cpu_features.h"
#include "gfx/blit_internal.h"
#include "gfx/blit_reference.h"

#ifdef QM_CPU_X86_64
#include <immintrin.h>
#define QM_AVX2 __attribute__((target("avx2")))

namespace {

constexpr int SSE2_PIXELS = 4; // 32-bit pixels per 128-bit register
constexpr int AVX2_PIXELS = 8; // 32-bit pixels per 256-bit register

// Per-pixel blend factors. scalar(m) gives a (0..255) for mask word m;
// vector4(m) and vector8(m) give a for four or eight mask words, one per
// 32-bit lane. A factor that ignores the mask says so, and the row walk then
// does not read it.
struct AlphaFromGreen {
  static constexpr bool reads_mask = true;
  uint32_t scalar(uint32_t m) const { return (m >> 8) & 0xFF; }
  __m128i vector4(__m128i m) const { return _mm_and_si128(_mm_srli_epi32(m, 8), _mm_set1_epi32(0xFF)); }
  QM_AVX2 __m256i vector8(__m256i m) const {
    return _mm256_and_si256(_mm256_srli_epi32(m, 8), _mm256_set1_epi32(0xFF));
  }
};

struct LevelAndBlue {
  static constexpr bool reads_mask = true;
  uint32_t level; // 255 - fade, 0..255
  uint32_t scalar(uint32_t m) const { return level & m & 0xFF; }
  __m128i vector4(__m128i m) const { return _mm_and_si128(m, _mm_set1_epi32(static_cast<int>(level))); }
  QM_AVX2 __m256i vector8(__m256i m) const {
    return _mm256_and_si256(m, _mm256_set1_epi32(static_cast<int>(level)));
  }
};

struct ConstantFactor {
  static constexpr bool reads_mask = false;
  uint32_t a; // 0..255, the same for every pixel
  uint32_t scalar(uint32_t) const { return a; }
  __m128i vector4(__m128i) const { return _mm_set1_epi32(static_cast<int>(a)); }
  QM_AVX2 __m256i vector8(__m256i) const { return _mm256_set1_epi32(static_cast<int>(a)); }
};

// Blends four target words d with four source words s by the factors a
// (0..255, one per 32-bit lane). Each channel is moved to the high byte of a
// 16-bit lane (channel x 256): blue and red by a shift, green by a mask that
// also drops the top byte. The high half of (c x 256) x f is exactly
// (c x f) >> 8, so each product is shifted on its own before the add; the
// sum is clamped at 255 and lands in the low byte of its lane, where blue and
// red belong and from where green is shifted up into place.
inline __m128i blend4(__m128i d, __m128i s, __m128i a) {
  const __m128i a16 = _mm_or_si128(a, _mm_slli_epi32(a, 16));
  const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), a16);
  const __m128i green = _mm_set1_epi32(0x0000FF00);
  const __m128i top = _mm_set1_epi16(255);
  const __m128i blue_red = _mm_add_epi16(_mm_mulhi_epu16(_mm_slli_epi16(d, 8), inverse),
                                         _mm_mulhi_epu16(_mm_slli_epi16(s, 8), a16));
  const __m128i green_low = _mm_add_epi16(_mm_mulhi_epu16(_mm_and_si128(d, green), inverse),
                                          _mm_mulhi_epu16(_mm_and_si128(s, green), a16));
  return _mm_or_si128(_mm_min_epi16(blue_red, top), _mm_slli_epi16(_mm_min_epi16(green_low, top), 8));
}

// blend4 on eight pixels: the same operations in 256-bit lanes.
QM_AVX2 inline __m256i blend8(__m256i d, __m256i s, __m256i a) {
  const __m256i a16 = _mm256_or_si256(a, _mm256_slli_epi32(a, 16));
  const __m256i inverse = _mm256_sub_epi16(_mm256_set1_epi16(255), a16);
  const __m256i green = _mm256_set1_epi32(0x0000FF00);
  const __m256i top = _mm256_set1_epi16(255);
  const __m256i blue_red = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_slli_epi16(d, 8), inverse),
                                            _mm256_mulhi_epu16(_mm256_slli_epi16(s, 8), a16));
  const __m256i green_low = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_and_si256(d, green), inverse),
                                             _mm256_mulhi_epu16(_mm256_and_si256(s, green), a16));
  return _mm256_or_si256(_mm256_min_epi16(blue_red, top), _mm256_slli_epi16(_mm256_min_epi16(green_low, top), 8));
}

// Blends pixels i.. of a row of n in groups of eight; returns where it stopped.
template <typename Factor>
QM_AVX2 int blend_groups8(uint32_t* d, const uint32_t* s, const uint32_t* m, int i, int n, Factor factor) {
  for (; i + AVX2_PIXELS <= n; i += AVX2_PIXELS) {
    const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
    const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    __m256i mv = _mm256_setzero_si256();
    if constexpr (Factor::reads_mask) mv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), blend8(dv, sv, factor.vector8(mv)));
  }
  return i;
}

// Blends pixels i.. of a row of n in groups of four; returns where it stopped.
template <typename Factor>
int blend_groups4(uint32_t* d, const uint32_t* s, const uint32_t* m, int i, int n, Factor factor) {
  for (; i + SSE2_PIXELS <= n; i += SSE2_PIXELS) {
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i mv = _mm_setzero_si128();
    if constexpr (Factor::reads_mask) mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), blend4(dv, sv, factor.vector4(mv)));
  }
  return i;
}

// Blends pixels i.. of a row of n one at a time.
template <typename Factor>
void blend_tail(uint32_t* d, const uint32_t* s, const uint32_t* m, int i, int n, Factor factor) {
  for (; i < n; ++i) d[i] = blend(d[i], s[i], factor.scalar(m[i]));
}

// The row of each path: the widest groups first, the tail last.
struct Sse2Row {
  template <typename Factor>
  void operator()(uint32_t* d, const uint32_t* s, const uint32_t* m, int n, Factor factor) const {
    blend_tail(d, s, m, blend_groups4(d, s, m, 0, n, factor), n, factor);
  }
};

struct Avx2Row {
  template <typename Factor>
  void operator()(uint32_t* d, const uint32_t* s, const uint32_t* m, int n, Factor factor) const {
    const int i = blend_groups4(d, s, m, blend_groups8(d, s, m, 0, n, factor), n, factor);
    blend_tail(d, s, m, i, n, factor);
  }
};

// Walks the clipped span a row at a time. Reading several pixels before
// writing them is only the same as the pixel-by-pixel walk when the target
// shares no memory with the source or the mask; otherwise the pixel-by-pixel
// walk runs instead.
template <typename Row, typename Factor>
void blend_span(const Image& src, Image& dst, int x, int y, const Image& mask, Factor factor) {
  if (overlaps(dst.pixels, dst.count, src.pixels, src.count) ||
      overlaps(dst.pixels, dst.count, mask.pixels, mask.count)) {
    blit_span(src, dst, x, y, mask.pixels,
              [factor](uint32_t d, uint32_t s, uint32_t m) { return blend(d, s, factor.scalar(m)); });
    return;
  }
  BlitSpan span;
  if (!clip_blit(src, dst, x, y, span)) return;
  uint32_t si = span.src_at;
  uint32_t di = span.dst_at;
  for (int j = 0; j < span.rows; ++j) {
    Row{}(dst.pixels + di, src.pixels + si, mask.pixels + si, span.columns, factor);
    si += span.columns + span.src_skip;
    di += span.columns + span.dst_skip;
  }
}

template <typename Row>
void alpha(const Image& src, Image& dst, int x, int y, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  blend_span<Row>(src, dst, x, y, mask, AlphaFromGreen{});
}

template <typename Row>
void fade_masked(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  blend_span<Row>(src, dst, x, y, mask, LevelAndBlue{255 - (static_cast<uint32_t>(fade) & 0xFF)});
}

template <typename Row>
void cross_fade(const Image& src, Image& dst, int x, int y, int keep) {
  // The source stands in as the mask; its value is not used.
  blend_span<Row>(src, dst, x, y, src, ConstantFactor{255 - (static_cast<uint32_t>(keep) & 0xFF)});
}

}  // namespace

void blit_alpha_sse2(const Image& src, Image& dst, int x, int y, const Image& mask) {
  alpha<Sse2Row>(src, dst, x, y, mask);
}
void blit_fade_masked_sse2(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  fade_masked<Sse2Row>(src, dst, x, y, fade, mask);
}
void blit_cross_fade_sse2(const Image& src, Image& dst, int x, int y, int keep) {
  cross_fade<Sse2Row>(src, dst, x, y, keep);
}
void blit_alpha_avx2(const Image& src, Image& dst, int x, int y, const Image& mask) {
  alpha<Avx2Row>(src, dst, x, y, mask);
}
void blit_fade_masked_avx2(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  fade_masked<Avx2Row>(src, dst, x, y, fade, mask);
}
void blit_cross_fade_avx2(const Image& src, Image& dst, int x, int y, int keep) {
  cross_fade<Avx2Row>(src, dst, x, y, keep);
}

#else  // no x86-64 instructions: every path is the reference blend

void blit_alpha_sse2(const Image& src, Image& dst, int x, int y, const Image& mask) {
  blit_alpha_reference(src, dst, x, y, mask);
}
void blit_fade_masked_sse2(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  blit_fade_masked_reference(src, dst, x, y, fade, mask);
}
void blit_cross_fade_sse2(const Image& src, Image& dst, int x, int y, int keep) {
  blit_cross_fade_reference(src, dst, x, y, keep);
}
void blit_alpha_avx2(const Image& src, Image& dst, int x, int y, const Image& mask) {
  blit_alpha_reference(src, dst, x, y, mask);
}
void blit_fade_masked_avx2(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  blit_fade_masked_reference(src, dst, x, y, fade, mask);
}
void blit_cross_fade_avx2(const Image& src, Image& dst, int x, int y, int keep) {
  blit_cross_fade_reference(src, dst, x, y, keep);
}

#endif
