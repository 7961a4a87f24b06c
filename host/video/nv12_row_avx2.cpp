#include <immintrin.h>

#include <cstdint>

#include "video/nv12_row_kernels.h"

// Only this file is compiled for AVX2 (host/CMakeLists.txt); its entry point runs only
// where CpuHasAvx2() says the processor and the system support it.

namespace orvane {
namespace {

constexpr int kLumaBias = 128 + (16 << 8);
constexpr int kChromaBias = 128 + (128 << 8);

// Thirty-two pixels per step: four 256-bit loads make one 32-byte Y store and, on rows
// that carry chroma, one 32-byte store of sixteen U/V pairs.
constexpr uint32_t kStep = 32;

__m256i PairWeights(int low, int high) {
  return _mm256_set1_epi32(
      static_cast<int>((static_cast<uint32_t>(high) << 16) | static_cast<uint16_t>(low)));
}

struct Weights {
  __m256i br;
  __m256i ga;
};

__m256i WeightedSum(__m256i br, __m256i ga, const Weights& weights, __m256i bias) {
  const __m256i sum =
      _mm256_add_epi32(_mm256_madd_epi16(br, weights.br), _mm256_madd_epi16(ga, weights.ga));
  return _mm256_srai_epi32(_mm256_add_epi32(sum, bias), 8);
}

__m256i EvenLanes(__m256i first, __m256i second) {
  return _mm256_castps_si256(_mm256_shuffle_ps(
      _mm256_castsi256_ps(first), _mm256_castsi256_ps(second), _MM_SHUFFLE(2, 0, 2, 0)));
}

// The in-lane packs leave groups of four bytes in the order 0 2 4 6 1 3 5 7 (luma) or,
// for the pairs made from even pixels, the same order of pair groups.
__m256i RestoreOrder(__m256i packed) {
  return _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <bool kChroma>
uint32_t ConvertSteps(const uint8_t* src, uint32_t width, uint8_t* y_row, uint8_t* uv_row) {
  const __m256i byte_mask = _mm256_set1_epi32(0x00FF00FF);
  const __m256i luma_bias = _mm256_set1_epi32(kLumaBias);
  const __m256i chroma_bias = _mm256_set1_epi32(kChromaBias);
  const Weights y{PairWeights(25, 66), PairWeights(129, 0)};
  const Weights u{PairWeights(112, -38), PairWeights(-74, 0)};
  const Weights v{PairWeights(-18, 112), PairWeights(-94, 0)};
  uint32_t x = 0;
  for (; x + kStep <= width; x += kStep) {
    __m256i br[4];
    __m256i ga[4];
    __m256i luma[4];
    for (int i = 0; i < 4; ++i) {
      const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x) + i);
      br[i] = _mm256_and_si256(px, byte_mask);
      ga[i] = _mm256_srli_epi16(px, 8);
      luma[i] = WeightedSum(br[i], ga[i], y, luma_bias);
    }
    const __m256i luma_bytes = _mm256_packus_epi16(_mm256_packs_epi32(luma[0], luma[1]),
                                                   _mm256_packs_epi32(luma[2], luma[3]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(y_row + x), RestoreOrder(luma_bytes));
    if constexpr (kChroma) {
      __m256i u_sums[2];
      __m256i v_sums[2];
      for (int i = 0; i < 2; ++i) {
        const __m256i even_br = EvenLanes(br[2 * i], br[2 * i + 1]);
        const __m256i even_ga = EvenLanes(ga[2 * i], ga[2 * i + 1]);
        u_sums[i] = WeightedSum(even_br, even_ga, u, chroma_bias);
        v_sums[i] = WeightedSum(even_br, even_ga, v, chroma_bias);
      }
      const __m256i u_then_v = _mm256_packus_epi16(_mm256_packs_epi32(u_sums[0], u_sums[1]),
                                                   _mm256_packs_epi32(v_sums[0], v_sums[1]));
      const __m256i pairs = _mm256_unpacklo_epi8(u_then_v, _mm256_srli_si256(u_then_v, 8));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(uv_row + x), RestoreOrder(pairs));
    }
  }
  return x;
}

}  // namespace

void ConvertNv12RowAvx2(const uint8_t* bgra, uint32_t width, uint8_t* y_row, uint8_t* uv_row) {
  const uint32_t done = uv_row != nullptr ? ConvertSteps<true>(bgra, width, y_row, uv_row)
                                          : ConvertSteps<false>(bgra, width, y_row, nullptr);
  // The step is even, so the rest starts on a chroma block.
  if (done < width) {
    ConvertNv12RowSse2(bgra + 4 * size_t{done}, width - done, y_row + done,
                       uv_row != nullptr ? uv_row + done : nullptr);
  }
}

}  // namespace orvane
