// AVX2 force sums, the same tiled scheme as the AVX-512 path on 8 lanes. Only
// intrinsics and plain loops live in this file: an inline library function
// compiled here could be picked by the linker for callers on CPUs without AVX2.
#include <immintrin.h>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

namespace avx2_path {

namespace {

constexpr int kLanes = 8;

// Transposes an 8×8 block held as 8 rows.
inline void transpose(__m256 r[8]) {
  __m256 t[8], u[8];
#pragma GCC unroll 8
  for (int k = 0; k < 8; k += 2) {
    t[k] = _mm256_unpacklo_ps(r[k], r[k + 1]);
    t[k + 1] = _mm256_unpackhi_ps(r[k], r[k + 1]);
  }
#pragma GCC unroll 8
  for (int k = 0; k < 8; k += 4) {
    u[k] = _mm256_shuffle_ps(t[k], t[k + 2], 0x44);
    u[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], 0xEE);
    u[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0x44);
    u[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0xEE);
  }
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) {
    r[k] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x20);
    r[k + 4] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x31);
  }
}

struct Tile {
  __m256 x, y, z, m, fx, fy, fz;
};

inline Tile loadTile(const BodyArrays& b, int at) {
  return {_mm256_load_ps(b.x + at),    _mm256_load_ps(b.y + at),  _mm256_load_ps(b.z + at),
          _mm256_load_ps(b.mass + at), _mm256_load_ps(b.fx + at), _mm256_load_ps(b.fy + at),
          _mm256_load_ps(b.fz + at)};
}

inline void storeSums(const BodyArrays& b, int at, const Tile& t) {
  _mm256_store_ps(b.fx + at, t.fx);
  _mm256_store_ps(b.fy + at, t.fy);
  _mm256_store_ps(b.fz + at, t.fz);
}

// sum + (d·s)·inv3, in this order.
inline __m256 addForce(__m256 sum, __m256 d, __m256 s, __m256 inv3) {
  return _mm256_add_ps(sum, _mm256_mul_ps(_mm256_mul_ps(d, s), inv3));
}

// inv3 = (inv·inv)·inv with inv = 1/√d2 and d2 = (dx·dx + dy·dy) + dz·dz.
// vsqrtps and vdivps round correctly, exactly as sqrtf and '/' do.
inline __m256 inverseCube(__m256 dx, __m256 dy, __m256 dz) {
  const __m256 d2 = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)),
                                  _mm256_mul_ps(dz, dz));
  const __m256 inv = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_sqrt_ps(d2));
  return _mm256_mul_ps(_mm256_mul_ps(inv, inv), inv);
}

// All tiles a < s against tile s, sharing each pair's inverse cube and
// software-pipelined as in the AVX-512 path.
void tilesBefore(const BodyArrays& b, int s, int n) {
  if (s == 0) return;
  Tile ts = loadTile(b, s);
  const int partners = n - s < kLanes ? n - s : kLanes;
  __m256 previous[kLanes] = {};  // filled before first use; zeros keep GCC quiet
  auto receive = [&](int from, int k) {
    const int i = from + k;
    const __m256 dx = _mm256_sub_ps(_mm256_set1_ps(b.x[i]), ts.x);
    const __m256 dy = _mm256_sub_ps(_mm256_set1_ps(b.y[i]), ts.y);
    const __m256 dz = _mm256_sub_ps(_mm256_set1_ps(b.z[i]), ts.z);
    const __m256 ss = _mm256_mul_ps(_mm256_set1_ps(b.massG[i]), ts.m);
    ts.fx = addForce(ts.fx, dx, ss, previous[k]);
    ts.fy = addForce(ts.fy, dy, ss, previous[k]);
    ts.fz = addForce(ts.fz, dz, ss, previous[k]);
  };
  for (int a = 0; a < s; a += kLanes) {
    Tile ta = loadTile(b, a);
    __m256 block[kLanes];
#pragma GCC unroll 8
    for (int k = 0; k < kLanes; ++k) {
      if (k < partners) {
        const int j = s + k;
        const __m256 dx = _mm256_sub_ps(_mm256_set1_ps(b.x[j]), ta.x);
        const __m256 dy = _mm256_sub_ps(_mm256_set1_ps(b.y[j]), ta.y);
        const __m256 dz = _mm256_sub_ps(_mm256_set1_ps(b.z[j]), ta.z);
        const __m256 inv3 = inverseCube(dx, dy, dz);
        block[k] = inv3;
        const __m256 sa = _mm256_mul_ps(_mm256_set1_ps(b.massG[j]), ta.m);
        ta.fx = addForce(ta.fx, dx, sa, inv3);
        ta.fy = addForce(ta.fy, dy, sa, inv3);
        ta.fz = addForce(ta.fz, dz, sa, inv3);
      } else {
        block[k] = _mm256_setzero_ps();
      }
      if (a > 0) receive(a - kLanes, k);
    }
    storeSums(b, a, ta);
    transpose(block);
#pragma GCC unroll 8
    for (int k = 0; k < kLanes; ++k) previous[k] = block[k];
  }
#pragma GCC unroll 8
  for (int k = 0; k < kLanes; ++k) receive(s - kLanes, k);
  storeSums(b, s, ts);
}

// The bodies of one tile with each other; the lane of body j itself keeps
// its sum (its term would be 0·∞).
void selfTile(const BodyArrays& b, int s, int n) {
  Tile t = loadTile(b, s);
  const __m256i laneIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const int partners = n - s < kLanes ? n - s : kLanes;
  for (int k = 0; k < partners; ++k) {
    const int j = s + k;
    const __m256 dx = _mm256_sub_ps(_mm256_set1_ps(b.x[j]), t.x);
    const __m256 dy = _mm256_sub_ps(_mm256_set1_ps(b.y[j]), t.y);
    const __m256 dz = _mm256_sub_ps(_mm256_set1_ps(b.z[j]), t.z);
    const __m256 inv3 = inverseCube(dx, dy, dz);
    const __m256 sm = _mm256_mul_ps(_mm256_set1_ps(b.massG[j]), t.m);
    const __m256 self = _mm256_castsi256_ps(_mm256_cmpeq_epi32(laneIndex, _mm256_set1_epi32(k)));
    t.fx = _mm256_blendv_ps(addForce(t.fx, dx, sm, inv3), t.fx, self);
    t.fy = _mm256_blendv_ps(addForce(t.fy, dy, sm, inv3), t.fy, self);
    t.fz = _mm256_blendv_ps(addForce(t.fz, dz, sm, inv3), t.fz, self);
  }
  storeSums(b, s, t);
}

}  // namespace

void forceSums(const BodyArrays& b, int n) {
  for (int i = 0; i < n; i += kLanes) {
    _mm256_store_ps(b.fx + i, _mm256_setzero_ps());
    _mm256_store_ps(b.fy + i, _mm256_setzero_ps());
    _mm256_store_ps(b.fz + i, _mm256_setzero_ps());
  }
  // Tile s receives the tiles before it in order, then itself; the tiles
  // before it receive s after everything earlier and before anything later.
  for (int s = 0; s < n; s += kLanes) {
    tilesBefore(b, s, n);
    selfTile(b, s, n);
  }
}

#include "starmote/bodies_integrate.inc"

}  // namespace avx2_path
