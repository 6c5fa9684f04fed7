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
# A function marked cold (GCC 14's std::string has one) goes into a section of
# its plain name, as GCC names it in its C++ library, not into clang's
# ".text$unlikely$" one: where the bounds-checked build instantiates it, the
# linker then keeps one copy instead of reporting two definitions. The link
# steps, which get the same flags, have no use for it and need not say so.
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${MINGW_CXX_INCLUDE} -isystem ${MINGW_CXX_INCLUDE}/${MINGW_PREFIX} -isystem ${MINGW_CXX_INCLUDE}/backward -mllvm -profile-guided-section-prefix=false")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${MINGW_GCC_DIR} -pthread -Qunused-arguments")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${MINGW_GCC_DIR} -pthread -Qunused-arguments")
