// NEON layer of the image stages, for every aarch64 CPU (Advanced SIMD is
// part of the base architecture).
#include <arm_neon.h>

#include <cstdint>
#include <cstring>

#include "image/kernels_isa.hpp"

namespace neon_path {
namespace {

using DVec = float64x2_t;
inline DVec set1D(double d) { return vdupq_n_f64(d); }
inline DVec addD(DVec a, DVec b) { return vaddq_f64(a, b); }
// The fused x·w − 2^52·w, from x = 2^52 + b, is exactly b·w before its one
// rounding.
inline DVec exactProduct(DVec biased, DVec w, DVec minusBiased) {
  return vfmaq_f64(minusBiased, biased, w);
}

// 4 pixels from a 16-byte load whose bytes 12 … 15 are replaced by
// 00 00 30 43; part 0 holds pixels 0 and 1, part 1 pixels 2 and 3, and a
// table lookup per part and channel builds each quadword's 2^52 + b (indices
// past the table give 0).
class Gray {
 public:
  static constexpr std::size_t kPixels = 4, kBytes = 16;
  static constexpr int kParts = 2;
  using Pixels = uint8x16_t;
  Gray() {
    const std::uint8_t z = 0xFF;
    for (int p = 0; p < 2; ++p) {
      for (int c = 0; c < 3; ++c) {
        const auto b = static_cast<std::uint8_t>(6 * p + c);
        const std::uint8_t index[16] = {b, z, z, z, z, z,  14, 15, static_cast<std::uint8_t>(b + 3),
                                        z, z, z, z, z, 14, 15};
        table_[p][c] = vld1q_u8(index);
      }
    }
  }
  Pixels load(const std::uint8_t* src) const {
    return vreinterpretq_u8_u32(vsetq_lane_u32(0x43300000, vreinterpretq_u32_u8(vld1q_u8(src)), 3));
  }
  DVec biased(Pixels p, int part, int channel) const {
    return vreinterpretq_f64_u8(vqtbl1q_u8(p, table_[part][channel]));
  }
  void store(float* dst, const DVec levels[2]) const {
    vst1q_f32(dst, vcombine_f32(vcvt_f32_f64(levels[0]), vcvt_f32_f64(levels[1])));
  }

 private:
  uint8x16_t table_[2][3];
};

using FVec = float32x4_t;
constexpr int kLanes = 4;
inline FVec loadF(const float* p) { return vld1q_f32(p); }
inline FVec addF(FVec a, FVec b) { return vaddq_f32(a, b); }
inline FVec subF(FVec a, FVec b) { return vsubq_f32(a, b); }
// 4·mid is exact, so the separate subtraction rounds once, like a fused one.
inline FVec fourTimesMinus(FVec mid, FVec t) { return vsubq_f32(vmulq_n_f32(mid, 4.0f), t); }

constexpr int kEdgeParts = 4, kEdgeAlign = 1;
inline void storeEdgeBytes(std::uint8_t* out, const FVec sums[4]) {
  int16x4_t words[4];
#pragma GCC unroll 4
  for (int p = 0; p < 4; ++p) words[p] = vqmovn_s32(vcvtq_s32_f32(sums[p]));
  vst1q_u8(out, vcombine_u8(vqmovun_s16(vcombine_s16(words[0], words[1])),
                            vqmovun_s16(vcombine_s16(words[2], words[3]))));
}
inline void edgeBytesPart(const float* up, const float* mid, const float* down, std::uint8_t* out,
                          int j, int n) {
  scalar_path::edgeBytes(up, mid, down, out, j, n);
}

// One interleaving store writes each level three times.
constexpr int kTripleLevels = 16, kTripleAlign = 1;
inline void tripleBlock(const std::uint8_t* levels, std::uint8_t* out) {
  const uint8x16_t v = vld1q_u8(levels);
  vst3q_u8(out, uint8x16x3_t{{v, v, v}});
}
inline void tripleTail(const std::uint8_t* levels, int n, std::uint8_t* out) {
  scalar_path::tripleBytes(levels, n, out);
}

}  // namespace

#include "image/kernels_vector.inc"

}  // namespace neon_path
