// The AVX-512 layer of the image stages, in this path's namespace.
#define IMAGE_AVX512_PATH avx512_path
#include "image/kernels_avx512.inc"
