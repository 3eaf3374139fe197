// AVX-512 force sums. Only intrinsics and plain loops live in this file: an
// inline library function compiled here could be picked by the linker for
// callers on CPUs without AVX-512.
#include <immintrin.h>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

namespace avx512_path {

namespace {

constexpr int kLanes = 16;

// Transposes a 16×16 block held as 16 rows.
inline void transpose(__m512 r[16]) {
  __m512 t[16];
#pragma GCC unroll 16
  for (int k = 0; k < 16; k += 2) {
    t[k] = _mm512_unpacklo_ps(r[k], r[k + 1]);
    t[k + 1] = _mm512_unpackhi_ps(r[k], r[k + 1]);
  }
#pragma GCC unroll 16
  for (int k = 0; k < 16; k += 4) {
    const __m512d a = _mm512_castps_pd(t[k]), b = _mm512_castps_pd(t[k + 1]),
                  c = _mm512_castps_pd(t[k + 2]), d = _mm512_castps_pd(t[k + 3]);
    r[k] = _mm512_castpd_ps(_mm512_unpacklo_pd(a, c));
    r[k + 1] = _mm512_castpd_ps(_mm512_unpackhi_pd(a, c));
    r[k + 2] = _mm512_castpd_ps(_mm512_unpacklo_pd(b, d));
    r[k + 3] = _mm512_castpd_ps(_mm512_unpackhi_pd(b, d));
  }
#pragma GCC unroll 16
  for (int h = 0; h < 16; h += 8) {
#pragma GCC unroll 16
    for (int k = 0; k < 4; ++k) {
      t[h + k] = _mm512_shuffle_f32x4(r[h + k], r[h + k + 4], 0x88);
      t[h + k + 4] = _mm512_shuffle_f32x4(r[h + k], r[h + k + 4], 0xdd);
    }
  }
#pragma GCC unroll 16
  for (int k = 0; k < 8; ++k) {
    r[k] = _mm512_shuffle_f32x4(t[k], t[k + 8], 0x88);
    r[k + 8] = _mm512_shuffle_f32x4(t[k], t[k + 8], 0xdd);
  }
}

struct Tile {
  __m512 x, y, z, m, fx, fy, fz;
};

inline Tile loadTile(const BodyArrays& b, int at) {
  return {_mm512_load_ps(b.x + at),    _mm512_load_ps(b.y + at),  _mm512_load_ps(b.z + at),
          _mm512_load_ps(b.mass + at), _mm512_load_ps(b.fx + at), _mm512_load_ps(b.fy + at),
          _mm512_load_ps(b.fz + at)};
}

inline void storeSums(const BodyArrays& b, int at, const Tile& t) {
  _mm512_store_ps(b.fx + at, t.fx);
  _mm512_store_ps(b.fy + at, t.fy);
  _mm512_store_ps(b.fz + at, t.fz);
}

// (d·s)·inv3 added to the sum of each lane in `keep`, in this order.
inline __m512 addForce(__m512 sum, __mmask16 keep, __m512 d, __m512 s, __m512 inv3) {
  return _mm512_mask_add_ps(sum, keep, sum, _mm512_mul_ps(_mm512_mul_ps(d, s), inv3));
}

// inv3 = (inv·inv)·inv with inv = 1/√d2 and d2 = (dx·dx + dy·dy) + dz·dz.
// vsqrtps and vdivps round correctly, exactly as sqrtf and '/' do.
inline __m512 inverseCube(__m512 dx, __m512 dy, __m512 dz) {
  const __m512 d2 = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(dx, dx), _mm512_mul_ps(dy, dy)),
                                  _mm512_mul_ps(dz, dz));
  const __m512 inv = _mm512_div_ps(_mm512_set1_ps(1.0f), _mm512_sqrt_ps(d2));
  return _mm512_mul_ps(_mm512_mul_ps(inv, inv), inv);
}

// All tiles a < s against tile s. Each unordered pair's inverse cube is
// formed once and serves both bodies: tile a (lanes) adds the bodies of s in
// array order (pass 1), then tile s adds the bodies of a in array order from
// the transposed block (pass 2). inv3 is symmetric because x(a) − x(s) is
// exactly the negation of x(s) − x(a); the mass products differ and are
// formed per direction, and dx is recomputed per direction so its bits match
// the literal loop's. Software-pipelined: while the roots and
// divisions of tile a are formed (pass 1), tile s adds the bodies of the
// previous tile from its transposed block (pass 2), so the divider and the
// multiply pipes work at the same time. Tile s keeps its sums in registers
// across the whole row; it still adds the tiles before it in array order.
void tilesBefore(const BodyArrays& b, int s, int n) {
  if (s == 0) return;
  Tile ts = loadTile(b, s);
  const int partners = n - s < kLanes ? n - s : kLanes;
  __m512 previous[kLanes] = {};  // filled before first use; zeros keep GCC quiet
  auto receive = [&](int from, int k) {
    const int i = from + k;
    const __m512 dx = _mm512_sub_ps(_mm512_set1_ps(b.x[i]), ts.x);
    const __m512 dy = _mm512_sub_ps(_mm512_set1_ps(b.y[i]), ts.y);
    const __m512 dz = _mm512_sub_ps(_mm512_set1_ps(b.z[i]), ts.z);
    const __m512 ss = _mm512_mul_ps(_mm512_set1_ps(b.massG[i]), ts.m);
    ts.fx = addForce(ts.fx, 0xFFFF, dx, ss, previous[k]);
    ts.fy = addForce(ts.fy, 0xFFFF, dy, ss, previous[k]);
    ts.fz = addForce(ts.fz, 0xFFFF, dz, ss, previous[k]);
  };
  for (int a = 0; a < s; a += kLanes) {
    Tile ta = loadTile(b, a);
    __m512 block[kLanes];
#pragma GCC unroll 16
    for (int k = 0; k < kLanes; ++k) {
      if (k < partners) {
        const int j = s + k;
        const __m512 dx = _mm512_sub_ps(_mm512_set1_ps(b.x[j]), ta.x);
        const __m512 dy = _mm512_sub_ps(_mm512_set1_ps(b.y[j]), ta.y);
        const __m512 dz = _mm512_sub_ps(_mm512_set1_ps(b.z[j]), ta.z);
        const __m512 inv3 = inverseCube(dx, dy, dz);
        block[k] = inv3;
        const __m512 sa = _mm512_mul_ps(_mm512_set1_ps(b.massG[j]), ta.m);
        ta.fx = addForce(ta.fx, 0xFFFF, dx, sa, inv3);
        ta.fy = addForce(ta.fy, 0xFFFF, dy, sa, inv3);
        ta.fz = addForce(ta.fz, 0xFFFF, dz, sa, inv3);
      } else {
        block[k] = _mm512_setzero_ps();
      }
      if (a > 0) receive(a - kLanes, k);
    }
    storeSums(b, a, ta);
    transpose(block);
#pragma GCC unroll 16
    for (int k = 0; k < kLanes; ++k) previous[k] = block[k];
  }
#pragma GCC unroll 16
  for (int k = 0; k < kLanes; ++k) receive(s - kLanes, k);
  storeSums(b, s, ts);
}

// The bodies of one tile with each other; the lane of body j itself adds
// nothing (its term would be 0·∞).
void selfTile(const BodyArrays& b, int s, int n) {
  Tile t = loadTile(b, s);
  const int partners = n - s < kLanes ? n - s : kLanes;
  for (int k = 0; k < partners; ++k) {
    const int j = s + k;
    const __m512 dx = _mm512_sub_ps(_mm512_set1_ps(b.x[j]), t.x);
    const __m512 dy = _mm512_sub_ps(_mm512_set1_ps(b.y[j]), t.y);
    const __m512 dz = _mm512_sub_ps(_mm512_set1_ps(b.z[j]), t.z);
    const __m512 inv3 = inverseCube(dx, dy, dz);
    const __m512 sm = _mm512_mul_ps(_mm512_set1_ps(b.massG[j]), t.m);
    const auto others = static_cast<__mmask16>(~(1u << k));
    t.fx = addForce(t.fx, others, dx, sm, inv3);
    t.fy = addForce(t.fy, others, dy, sm, inv3);
    t.fz = addForce(t.fz, others, dz, sm, inv3);
  }
  storeSums(b, s, t);
}

}  // namespace

void forceSums(const BodyArrays& b, int n) {
  for (int i = 0; i < n; i += kLanes) {
    _mm512_store_ps(b.fx + i, _mm512_setzero_ps());
    _mm512_store_ps(b.fy + i, _mm512_setzero_ps());
    _mm512_store_ps(b.fz + i, _mm512_setzero_ps());
  }
  // Every body must add its partners in array order: when tile s comes up, it
  // first receives the tiles before it (in order), then itself; the tiles
  // before it receive s, after everything earlier and before anything later.
  for (int s = 0; s < n; s += kLanes) {
    tilesBefore(b, s, n);
    selfTile(b, s, n);
  }
}

#include "starmote/bodies_integrate.inc"

}  // namespace avx512_path
