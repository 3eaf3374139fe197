# Cross-compiles for EDGESTAR_TARGET (a Debian multiarch CPU name such as
# aarch64 or s390x) with Debian's g++-<target>-linux-gnu and runs what the
# build and the tests execute under qemu-<target> (qemu-user). Every
# executable links statically (cmake/hardening.cmake), so the emulator needs no
# target libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${EDGESTAR_TARGET})
set(CMAKE_C_COMPILER ${EDGESTAR_TARGET}-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER ${EDGESTAR_TARGET}-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${EDGESTAR_TARGET}-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(EDGESTAR_QEMU qemu-${EDGESTAR_TARGET} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${EDGESTAR_QEMU})
