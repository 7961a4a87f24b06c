#include <emmintrin.h>

#include <algorithm>

#include "video/nv12_row_kernels.h"

namespace orvane {
namespace {

// The formula's "+ 128 then >> 8 then + offset" folds into one bias before the shift:
// adding offset * 256 ahead of an arithmetic shift is exact.
constexpr int kLumaBias = 128 + (16 << 8);
constexpr int kChromaBias = 128 + (128 << 8);

// Sixteen pixels per step: four 128-bit loads make one 16-byte Y store and, on rows
// that carry chroma, one 16-byte store of eight U/V pairs.
constexpr uint32_t kStep = 16;

int Luma(const uint8_t* p) {
  return (66 * p[2] + 129 * p[1] + 25 * p[0] + kLumaBias) >> 8;
}
int ChromaU(const uint8_t* p) {
  return (-38 * p[2] - 74 * p[1] + 112 * p[0] + kChromaBias) >> 8;
}
int ChromaV(const uint8_t* p) {
  return (112 * p[2] - 94 * p[1] - 18 * p[0] + kChromaBias) >> 8;
}
uint8_t ClampByte(int value) {
  return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// pmaddwd weights: each 32-bit pixel is split into 16-bit lanes (B, R) and (G, A), so one
// multiply-add per pair gives a pixel's weighted sum in a 32-bit lane.
struct Weights {
  __m128i br;
  __m128i ga;
};

__m128i PairWeights(int low, int high) {
  return _mm_set1_epi32(
      static_cast<int>((static_cast<uint32_t>(high) << 16) | static_cast<uint16_t>(low)));
}

__m128i WeightedSum(__m128i br, __m128i ga, const Weights& weights, __m128i bias) {
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(br, weights.br), _mm_madd_epi16(ga, weights.ga));
  return _mm_srai_epi32(_mm_add_epi32(sum, bias), 8);
}

struct Kernel {
  __m128i byte_mask = _mm_set1_epi32(0x00FF00FF);
  __m128i luma_bias = _mm_set1_epi32(kLumaBias);
  __m128i chroma_bias = _mm_set1_epi32(kChromaBias);
  Weights y{PairWeights(25, 66), PairWeights(129, 0)};
  Weights u{PairWeights(112, -38), PairWeights(-74, 0)};
  Weights v{PairWeights(-18, 112), PairWeights(-94, 0)};
};

// Saturating packs stand in for the formula's clamps: 32 -> 16 bits signed, then
// 16 -> 8 bits unsigned, is a clamp of any int32 to 0..255.
template <bool kChroma>
void ConvertRow(const uint8_t* src, uint32_t width, uint8_t* y_row, uint8_t* uv_row) {
  const Kernel k;
  uint32_t x = 0;
  for (; x + kStep <= width; x += kStep) {
    __m128i br[4];
    __m128i ga[4];
    __m128i luma[4];
    for (int i = 0; i < 4; ++i) {
      const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x) + i);
      br[i] = _mm_and_si128(px, k.byte_mask);
      ga[i] = _mm_srli_epi16(px, 8);
      luma[i] = WeightedSum(br[i], ga[i], k.y, k.luma_bias);
    }
    const __m128i y16_low = _mm_packs_epi32(luma[0], luma[1]);
    const __m128i y16_high = _mm_packs_epi32(luma[2], luma[3]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y_row + x), _mm_packus_epi16(y16_low, y16_high));
    if constexpr (kChroma) {
      __m128i u[2];
      __m128i v[2];
      for (int i = 0; i < 2; ++i) {
        // Even pixels only: lanes 0 and 2 of each of two loads.
        const __m128i even_br = _mm_castps_si128(_mm_shuffle_ps(
            _mm_castsi128_ps(br[2 * i]), _mm_castsi128_ps(br[2 * i + 1]), _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i even_ga = _mm_castps_si128(_mm_shuffle_ps(
            _mm_castsi128_ps(ga[2 * i]), _mm_castsi128_ps(ga[2 * i + 1]), _MM_SHUFFLE(2, 0, 2, 0)));
        u[i] = WeightedSum(even_br, even_ga, k.u, k.chroma_bias);
        v[i] = WeightedSum(even_br, even_ga, k.v, k.chroma_bias);
      }
      const __m128i u_then_v =
          _mm_packus_epi16(_mm_packs_epi32(u[0], u[1]), _mm_packs_epi32(v[0], v[1]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(uv_row + x),
                       _mm_unpacklo_epi8(u_then_v, _mm_srli_si128(u_then_v, 8)));
    }
  }

  for (uint32_t tail = x; tail < width; ++tail) {
    y_row[tail] = ClampByte(Luma(src + 4 * tail));
  }
  if constexpr (kChroma) {
    for (; x + 1 < width; x += 2) {
      uv_row[x] = ClampByte(ChromaU(src + 4 * x));
      uv_row[x + 1] = ClampByte(ChromaV(src + 4 * x));
    }
    if (width % 2 != 0) {
      uv_row[width - 1] = ClampByte(ChromaU(src + 4 * (width - 1)));
    }
  }
}

}  // namespace

void ConvertNv12RowSse2(const uint8_t* bgra, uint32_t width, uint8_t* y_row, uint8_t* uv_row) {
  if (uv_row != nullptr) {
    ConvertRow<true>(bgra, width, y_row, uv_row);
  } else {
    ConvertRow<false>(bgra, width, y_row, nullptr);
  }
}

}  // namespace orvane
