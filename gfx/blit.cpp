// blit.cpp: the opaque copy, the three blends and the line drawer.
// Owns: nothing. Touches: the pixels of the target image only; sources and
// masks are only read. Thread: main thread only.
//
// Every operation is plain integer arithmetic. Positions and sizes are taken
// as signed 16-bit values; blend factors as 8-bit values. The four blits share
// one clipping rule (clip_blit) and walk their rows with running indices.
// The blends run eight pixels at a time with AVX2 where the processor has it,
// four at a time with SSE2 where the compiler offers it, and finish each
// row's tail with the scalar blend; the scalar-only versions
// (blit_reference.h) give the same bits and serve as the tests' yardstick.
#include "gfx/blit.h"

#include <cstring>
#include <functional>

#include "gfx/blit_reference.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
// Eight pixels at a time with AVX2 where the processor has it (chosen at run
// time; the build itself assumes only SSE2).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QM_GFX_AVX2 1
#include <immintrin.h>
#define QM_AVX2 __attribute__((target("avx2")))
#endif

namespace {

// The visible part of a source placed at (x, y) in a target, in row terms.
struct BlitSpan {
  int columns;       // visible pixels per row, > 0 when anything is drawn
  int rows;          // visible rows, > 0 when anything is drawn
  uint32_t src_at;   // first source (and mask) element drawn
  uint32_t dst_at;   // first target element written
  uint32_t src_skip; // source elements passed over after each row (left + right cut)
  uint32_t dst_skip; // target elements passed over after each row
};

// Returns false when nothing of src lands inside dst.
bool clip_blit(const Image& src, const Image& dst, int x, int y, BlitSpan& span) {
  const int px = static_cast<int16_t>(x);
  const int py = static_cast<int16_t>(y);
  const int w = static_cast<int16_t>(src.width);
  const int h = static_cast<int16_t>(src.height);
  const int dw = static_cast<int16_t>(dst.width);
  const int dh = static_cast<int16_t>(dst.height);

  const int left = px < 0 ? -px : 0;
  const int right = px + w > dw ? px + w - dw : 0;
  const int columns = w - left - right;
  if (columns <= 0) return false;
  const int top = py < 0 ? -py : 0;
  const int bottom = py + h > dh ? py + h - dh : 0;
  const int rows = h - top - bottom;
  if (rows <= 0) return false;

  const int dst_x = px > 0 ? px : 0;
  const int dst_y = py > 0 ? py : 0;
  span.columns = columns;
  span.rows = rows;
  span.src_at = static_cast<uint32_t>(top * w + left);
  span.dst_at = static_cast<uint32_t>(dst_y * dw + dst_x);
  span.src_skip = static_cast<uint32_t>(left + right);
  span.dst_skip = static_cast<uint32_t>(dw - columns);
  return true;
}

// One channel pair: both products are shifted before the add, then clamped.
inline uint32_t blend_channel(uint32_t d, uint32_t s, uint32_t a) {
  const uint32_t out = ((d * (255 - a)) >> 8) + ((s * a) >> 8);
  return out > 255 ? 255 : out;
}

// Blends source word s over target word d with factor a (0..255); top byte 0.
inline uint32_t blend(uint32_t d, uint32_t s, uint32_t a) {
  const uint32_t r = blend_channel((d >> 16) & 0xFF, (s >> 16) & 0xFF, a);
  const uint32_t g = blend_channel((d >> 8) & 0xFF, (s >> 8) & 0xFF, a);
  const uint32_t b = blend_channel(d & 0xFF, s & 0xFF, a);
  return (r << 16) | (g << 8) | b;
}

// Walks the clipped span, calling mix(target, source, mask) for each pixel
// pair. The mask is indexed like the source and holds at least as many pixels.
template <typename Mix>
void blit_span(const Image& src, Image& dst, int x, int y, const uint32_t* mask, Mix mix) {
  BlitSpan span;
  if (!clip_blit(src, dst, x, y, span)) return;
  uint32_t si = span.src_at;
  uint32_t di = span.dst_at;
  for (int j = 0; j < span.rows; ++j) {
    for (int i = 0; i < span.columns; ++i, ++si, ++di) {
      dst.pixels[di] = mix(dst.pixels[di], src.pixels[si], mask[si]);
    }
    si += span.src_skip;
    di += span.dst_skip;
  }
}

// Per-pixel blend factors. scalar(m) gives a (0..255) for mask word m; on
// SSE2, vector(m) gives a for four mask words, one per 32-bit lane. A factor
// that ignores the mask says so, and the row walk then does not read it.
struct AlphaFromGreen {
  static constexpr bool reads_mask = true;
  uint32_t scalar(uint32_t m) const { return (m >> 8) & 0xFF; }
#ifdef __SSE2__
  __m128i vector(__m128i m) const { return _mm_and_si128(_mm_srli_epi32(m, 8), _mm_set1_epi32(0xFF)); }
#endif
#ifdef QM_GFX_AVX2
  QM_AVX2 __m256i vector8(__m256i m) const {
    return _mm256_and_si256(_mm256_srli_epi32(m, 8), _mm256_set1_epi32(0xFF));
  }
#endif
};

struct LevelAndBlue {
  static constexpr bool reads_mask = true;
  uint32_t level; // 255 - fade, 0..255
  uint32_t scalar(uint32_t m) const { return level & m & 0xFF; }
#ifdef __SSE2__
  __m128i vector(__m128i m) const { return _mm_and_si128(m, _mm_set1_epi32(static_cast<int>(level))); }
#endif
#ifdef QM_GFX_AVX2
  QM_AVX2 __m256i vector8(__m256i m) const {
    return _mm256_and_si256(m, _mm256_set1_epi32(static_cast<int>(level)));
  }
#endif
};

struct ConstantFactor {
  static constexpr bool reads_mask = false;
  uint32_t a; // 0..255, the same for every pixel
  uint32_t scalar(uint32_t) const { return a; }
#ifdef __SSE2__
  __m128i vector(__m128i) const { return _mm_set1_epi32(static_cast<int>(a)); }
#endif
#ifdef QM_GFX_AVX2
  QM_AVX2 __m256i vector8(__m256i) const { return _mm256_set1_epi32(static_cast<int>(a)); }
#endif
};

#ifdef __SSE2__
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
#endif

#ifdef QM_GFX_AVX2
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

// Blends the first n & ~7 pixels of a row; returns how many it blended.
template <typename Factor>
QM_AVX2 int blend_row_avx2(uint32_t* d, const uint32_t* s, const uint32_t* m, int n, Factor factor) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
    const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    __m256i mv = _mm256_setzero_si256();
    if constexpr (Factor::reads_mask) mv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), blend8(dv, sv, factor.vector8(mv)));
  }
  return i;
}

// Process-wide: the processor does not change while the process runs.
bool have_avx2() {
  static const bool yes = __builtin_cpu_supports("avx2");
  return yes;
}
#endif

// Blends one row of n pixels: eight at a time with AVX2, then four at a time
// where SSE2 is available, the rest (and everything without SSE2) one at a time.
template <typename Factor>
void blend_row(uint32_t* d, const uint32_t* s, const uint32_t* m, int n, Factor factor) {
  int i = 0;
#ifdef QM_GFX_AVX2
  if (have_avx2()) i = blend_row_avx2(d, s, m, n, factor);
#endif
#ifdef __SSE2__
  for (; i + 4 <= n; i += 4) {
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i mv = _mm_setzero_si128();
    if constexpr (Factor::reads_mask) mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), blend4(dv, sv, factor.vector(mv)));
  }
#endif
  for (; i < n; ++i) d[i] = blend(d[i], s[i], factor.scalar(m[i]));
}

// True when the blocks [a, a + a_count) and [b, b + b_count) share memory.
bool overlaps(const uint32_t* a, uint32_t a_count, const uint32_t* b, uint32_t b_count) {
  const std::less<const uint32_t*> before;
  return before(a, b + b_count) && before(b, a + a_count);
}

// The fast walk of the clipped span, a row at a time. Reading several pixels
// before writing them is only the same as the pixel-by-pixel walk when the
// target shares no memory with the source or the mask; otherwise the
// pixel-by-pixel walk runs instead, so the result never depends on the path.
template <typename Factor>
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
    blend_row(dst.pixels + di, src.pixels + si, mask.pixels + si, span.columns, factor);
    si += span.columns + span.src_skip;
    di += span.columns + span.dst_skip;
  }
}

// A mask smaller than the source would be read past its end: such a call
// draws nothing.
bool mask_covers(const Image& src, const Image& mask) { return mask.count >= src.count; }

}  // namespace

void blit(const Image& src, Image& dst, int x, int y) {
  BlitSpan span;
  if (!clip_blit(src, dst, x, y, span)) return;
  uint32_t si = span.src_at;
  uint32_t di = span.dst_at;
  const size_t row_bytes = static_cast<size_t>(span.columns) * sizeof(uint32_t);
  for (int j = 0; j < span.rows; ++j) {
    std::memcpy(dst.pixels + di, src.pixels + si, row_bytes);
    si += span.columns + span.src_skip;
    di += span.columns + span.dst_skip;
  }
}

void blit_alpha(const Image& src, Image& dst, int x, int y, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  blend_span(src, dst, x, y, mask, AlphaFromGreen{});
}

void blit_fade_masked(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  blend_span(src, dst, x, y, mask, LevelAndBlue{255 - (static_cast<uint32_t>(fade) & 0xFF)});
}

void blit_cross_fade(const Image& src, Image& dst, int x, int y, int keep) {
  // The source stands in as the mask; its value is not used.
  blend_span(src, dst, x, y, src, ConstantFactor{255 - (static_cast<uint32_t>(keep) & 0xFF)});
}

void blit_alpha_reference(const Image& src, Image& dst, int x, int y, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  blit_span(src, dst, x, y, mask.pixels, [](uint32_t d, uint32_t s, uint32_t m) {
    return blend(d, s, (m >> 8) & 0xFF);
  });
}

void blit_fade_masked_reference(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  const uint32_t level = 255 - (static_cast<uint32_t>(fade) & 0xFF);
  blit_span(src, dst, x, y, mask.pixels, [level](uint32_t d, uint32_t s, uint32_t m) {
    return blend(d, s, level & m & 0xFF);
  });
}

void blit_cross_fade_reference(const Image& src, Image& dst, int x, int y, int keep) {
  const uint32_t a = 255 - (static_cast<uint32_t>(keep) & 0xFF);
  // The source stands in as the mask; its value is not used.
  blit_span(src, dst, x, y, src.pixels, [a](uint32_t d, uint32_t s, uint32_t) { return blend(d, s, a); });
}

// The minor axis steps only when the accumulated error exceeds the major
// length, so the line lags behind the ideal one and may stop short of
// (x1, y1); it always plots max(|dx|, |dy|) + 1 pixels from (x0, y0). The
// pixels move monotonically, so the line stays inside the image when its
// first and last pixels do; any other line is refused whole instead of
// writing outside the block.
void draw_line(Image& image, int x0, int y0, int x1, int y1, uint32_t colour) {
  const int ax = static_cast<int16_t>(x0), ay = static_cast<int16_t>(y0);
  const int bx = static_cast<int16_t>(x1), by = static_cast<int16_t>(y1);
  const int width = static_cast<int16_t>(image.width);
  const int height = static_cast<int16_t>(image.height);
  int dx = bx - ax, x_sign = 1;
  if (dx < 0) dx = -dx, x_sign = -1;
  int dy = by - ay, y_sign = 1;
  if (dy < 0) dy = -dy, y_sign = -1;

  // Before the last pixel the major axis has taken all its steps and the
  // minor axis one for each time the error passed the major length.
  const int64_t major = dx > dy ? dx : dy, minor = dx > dy ? dy : dx;
  const int lag_steps = minor ? static_cast<int>((major * minor - 1) / major) : 0;
  const int last_x = dx > dy ? bx : ax + x_sign * lag_steps;
  const int last_y = dx > dy ? ay + y_sign * lag_steps : by;
  const auto inside = [&](int px, int py) { return px >= 0 && px < width && py >= 0 && py < height; };
  if (!inside(ax, ay) || !inside(last_x, last_y)) return;

  long at = static_cast<long>(ay) * width + ax;
  const int x_step = x_sign, y_step = y_sign * width;
  int err = 0;
  if (dx > dy) {
    for (int k = 0; k <= dx; ++k) {
      err += dy;
      image.pixels[at] = colour;
      at += x_step;
      if (err > dx) at += y_step, err -= dx;
    }
  } else {
    for (int k = 0; k <= dy; ++k) {
      err += dx;
      image.pixels[at] = colour;
      at += y_step;
      if (err > dy) at += x_step, err -= dy;
    }
  }
}
