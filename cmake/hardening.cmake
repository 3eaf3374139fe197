# The exploit mitigations distributions build into what they ship, held once:
# every library, program, test, bench and fuzzer links edgestar_hardening
# (through common, or directly) and may add to it, never take from it.
#
# image parses files that come from anywhere, so a stack overflow must hit a
# canary, a fortified copy must check its size, and the program must not sit
# at a fixed address with writable relocations.
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)

add_library(edgestar_hardening INTERFACE)

# -Wconversion catches a value silently narrowed (a 64-bit size into an int,
# a double into a float); its sign half, which clang's -Wconversion includes,
# would put a cast on every index of the vector layers, so it stays off.
set(hardening_compile -fstack-protector-strong -fstack-clash-protection -D_GLIBCXX_ASSERTIONS
                      -Wformat=2 -Wimplicit-fallthrough -Wconversion -Wno-sign-conversion)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  # Indirect-branch tracking (endbr64 landing pads) and the shadow stack.
  list(APPEND hardening_compile -fcf-protection=full)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  # Return addresses signed (PAC) and branch targets marked (BTI).
  list(APPEND hardening_compile -mbranch-protection=standard)
endif()

# Level 3 checks sizes known only at run time; it needs
# __builtin_dynamic_object_size (GCC 12, clang 9), and glibc before 2.34
# takes it as level 2. The sanitizers check every access themselves and
# intercept the plain calls, not the fortified ones, so they go without it.
# Fortification needs an optimising build.
check_cxx_source_compiles("
#if !defined(__has_builtin) || !__has_builtin(__builtin_dynamic_object_size)
#error no dynamic object size
#endif
int main() { return 0; }" EDGESTAR_HAVE_DYNAMIC_OBJECT_SIZE)
if(EDGESTAR_HAVE_DYNAMIC_OBJECT_SIZE)
  set(fortify_level 3)
else()
  set(fortify_level 2)
endif()
if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize=[a-z,-]*address")
  list(APPEND hardening_compile
       "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=${fortify_level}>")
endif()

# Position-independent code for every object an executable is made of (a
# shared library gets -fPIC from CMake).
target_compile_options(edgestar_hardening INTERFACE
  ${hardening_compile}
  "$<$<IN_LIST:$<TARGET_PROPERTY:TYPE>,EXECUTABLE;STATIC_LIBRARY;OBJECT_LIBRARY>:-fPIE>")

# A static program keeps its fast start and still loads at a random address
# as a static PIE, where the C library ships its start file (rcrt1.o):
# x86-64 and aarch64. Debian's s390x cross toolchain lacks it, so static
# programs there are plain static executables, with everything else below.
check_linker_flag(CXX -static-pie EDGESTAR_HAVE_STATIC_PIE)
if(EDGESTAR_HAVE_STATIC_PIE)
  set(EDGESTAR_STATIC_LINK -static-pie)
else()
  set(EDGESTAR_STATIC_LINK -static)
endif()
# Static: the programs when EDGESTAR_STATIC is on (edgestar_static), and
# every executable of a cross build, which the emulator runs without the
# target's libraries. Every other executable is a dynamic PIE.
set(static_rule "$<OR:$<BOOL:${CMAKE_CROSSCOMPILING}>,$<BOOL:$<TARGET_PROPERTY:EDGESTAR_STATIC_PROGRAM>>>")
target_link_options(edgestar_hardening INTERFACE
  "$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:$<IF:${static_rule},${EDGESTAR_STATIC_LINK},-pie>>"
  # Relocations read-only once resolved, all resolved at start, no
  # executable stack.
  "LINKER:-z,relro,-z,now,-z,noexecstack")

# Marks a program to be linked statically when EDGESTAR_STATIC is on.
function(edgestar_static target)
  if(EDGESTAR_STATIC)
    set_target_properties(${target} PROPERTIES EDGESTAR_STATIC_PROGRAM ON)
  endif()
endfunction()
