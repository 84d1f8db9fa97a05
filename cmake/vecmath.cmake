# The friction factor's power and logarithm, several values at a time with
# the C library's bits (src/vecmath/), in a build of the engine's sources:
# the main build and the robustness build (fuzz/) include this file.
#
# They repeat GNU libc's x86-64 routines, so the option PELMORA_VECMATH
# exists only for x86-64 Linux with GNU libc (and GCC or clang), where it is
# on; off, or elsewhere, every value comes from the C library, with the same
# results at a lower speed.
include(CheckSymbolExists)
include(CMakeDependentOption)
set(PELMORA_VECMATH_APPLIES OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$"
   AND CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
  check_symbol_exists(__GLIBC__ "features.h" PELMORA_HAVE_GLIBC)
  set(PELMORA_VECMATH_APPLIES ${PELMORA_HAVE_GLIBC})
endif()
cmake_dependent_option(PELMORA_VECMATH
  "Vector power and logarithm with the C library's bits (x86-64 Linux, GNU libc)" ON
  "PELMORA_VECMATH_APPLIES" OFF)

# How the folder's files are compiled, for the sources in the list named
# <sources>: each instruction set's file for its instruction set (it is
# called only on processors that have it), and none may contract a * b + c
# into a fused multiply-add, since the routines round exactly where the C
# library's do and fuse only where it fuses. With the option off the
# instruction-set files leave the list, and vecmath.cpp calls the C library.
function(pelmora_vecmath_sources sources)
  get_filename_component(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../src/vecmath ABSOLUTE)
  set_property(SOURCE ${dir}/avx2.cpp PROPERTY COMPILE_OPTIONS -mavx2 -mfma -ffp-contract=off)
  set_property(SOURCE ${dir}/avx512.cpp
               PROPERTY COMPILE_OPTIONS -mavx512f -mavx512dq -ffp-contract=off)
  set_property(SOURCE ${dir}/vecmath.cpp
               PROPERTY COMPILE_OPTIONS $<$<CXX_COMPILER_ID:GNU,Clang>:-ffp-contract=off>)
  if(PELMORA_VECMATH)
    set_property(SOURCE ${dir}/vecmath.cpp PROPERTY COMPILE_DEFINITIONS PELMORA_VECMATH=1)
  else()
    set(list ${${sources}})
    list(REMOVE_ITEM list ${dir}/avx2.cpp ${dir}/avx512.cpp)
    set(${sources} ${list} PARENT_SCOPE)
    set_property(SOURCE ${dir}/vecmath.cpp PROPERTY COMPILE_DEFINITIONS PELMORA_VECMATH=0)
  endif()
endfunction()
