// The AVX-512 layer of the image stages with VBMI's byte permutes: the same
// layer, compiled for them in this path's namespace.
#define IMAGE_AVX512_PATH avx512vbmi_path
#include "image/kernels_avx512.inc"
