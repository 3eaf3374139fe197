// The AVX-512 force sums, in this path's namespace.
#define STARMOTE_AVX512_PATH avx512_path
#include "starmote/bodies_avx512.inc"
