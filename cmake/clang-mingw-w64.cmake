# Cross build for 64-bit Windows with Debian's clang and lld, against the same MinGW-w64 headers
# and libraries as the GCC build (cmake/mingw-w64.cmake): a second compiler for the product code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${MINGW_PREFIX}-dlltool)
set(CMAKE_OBJCOPY ${MINGW_PREFIX}-objcopy)

# clang finds the MinGW-w64 C headers and import libraries itself, but not GCC's C++ library for
# the target (posix threading model), whose static form needs the winpthreads library as well.
set(gcc_dir /usr/lib/gcc/${MINGW_PREFIX}/12-posix)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${MINGW_PREFIX}")
# Checks that GCC does not make, on top of the project's warnings (errors in product code).
string(APPEND CMAKE_CXX_FLAGS_INIT " -Wshadow-all -Wunreachable-code-return -Wextra-semi -Wcomma"
       " -Wmissing-prototypes -Wcast-qual -Wshorten-64-to-32 -Wimplicit-int-conversion")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")
set(CMAKE_CXX_STANDARD_LIBRARIES "-Wl,--start-group -lstdc++ -lpthread -Wl,--end-group")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
