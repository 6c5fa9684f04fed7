# Cross-compiles for 64-bit Windows with clang: a second compiler over the same
# MinGW-w64 headers, GCC's MinGW C++ library and runtime, and the MinGW
# binutils, which links.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_PREFIX})

# clang does not find GCC's MinGW C++ headers and libraries by itself. The
# POSIX threading variant's runtime needs winpthreads, which -pthread links.
file(GLOB MINGW_GCC_DIR /usr/lib/gcc/${MINGW_PREFIX}/*-posix)
set(MINGW_CXX_INCLUDE ${MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${MINGW_CXX_INCLUDE} -isystem ${MINGW_CXX_INCLUDE}/${MINGW_PREFIX} -isystem ${MINGW_CXX_INCLUDE}/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${MINGW_GCC_DIR} -pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${MINGW_GCC_DIR} -pthread")
