# Cross-compiling for 64-bit Windows with MinGW-w64 from a Linux machine
# (Debian package g++-mingw-w64-x86-64).
#
#   cmake --preset windows && cmake --build --preset windows
#
# We pin the "posix" thread-model compilers rather than the bare names,
# whose meaning depends on the machine's update-alternatives setting: the
# posix variant carries the complete C++ thread library, and the top-level
# CMakeLists.txt links libgcc, libstdc++ and winpthread statically, so the
# DLL needs nothing from MinGW at run time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELMORA_MINGW_TRIPLET x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${PELMORA_MINGW_TRIPLET}-gcc-posix ${PELMORA_MINGW_TRIPLET}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PELMORA_MINGW_TRIPLET}-g++-posix ${PELMORA_MINGW_TRIPLET}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PELMORA_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW sysroot only; build tools from
# the host machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PELMORA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
