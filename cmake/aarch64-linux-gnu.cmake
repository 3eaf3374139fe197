# 64-bit ARM, little-endian, with NEON kernels.
set(EDGESTAR_TARGET aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux-gnu.cmake)
