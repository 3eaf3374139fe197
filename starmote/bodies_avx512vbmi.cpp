// VBMI's byte permutes are of no use to the force step: the AVX-512 kernels,
// compiled again in this path's namespace.
#define STARMOTE_AVX512_PATH avx512vbmi_path
#include "starmote/bodies_avx512.inc"
