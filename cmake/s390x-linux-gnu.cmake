# IBM Z, big-endian, with the portable kernels alone: what every CPU without
# vector kernels runs, and the one host here that reads bytes the other way.
set(EDGESTAR_TARGET s390x)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux-gnu.cmake)
