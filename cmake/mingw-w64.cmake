# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   (add -DTESSALINE_MINGW_COMPILER=clang for clang, package clang and lld)
#
# The posix-threads flavour of the compiler is used, since the library's
# worker threads are std::thread. The programs and the DLL carry their C++
# runtime statically, so that they run on a bare Windows (or under Wine)
# without the compiler's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSALINE_MINGW_TRIPLET x86_64-w64-mingw32 CACHE STRING
    "Target triplet of the mingw-w64 tools")
set(triplet ${TESSALINE_MINGW_TRIPLET})

# A second compiler family keeps the sources honest: with
# -DTESSALINE_MINGW_COMPILER=clang, Debian's clang compiles for the same
# target against the same mingw-w64 headers and libstdc++, and lld links.
set(TESSALINE_MINGW_COMPILER gcc CACHE STRING
    "Compiler of the cross build: gcc or clang")
# The compiler checks that CMake builds read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TESSALINE_MINGW_COMPILER)
if(TESSALINE_MINGW_COMPILER STREQUAL "clang")
  find_program(CMAKE_C_COMPILER NAMES clang REQUIRED)
  find_program(CMAKE_CXX_COMPILER NAMES clang++ REQUIRED)
  set(CMAKE_C_COMPILER_TARGET ${triplet})
  set(CMAKE_CXX_COMPILER_TARGET ${triplet})
  # clang does not find the libstdc++ of the posix-threads g++ by itself.
  file(GLOB gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${triplet}/*-posix)
  list(SORT gcc_dirs COMPARE NATURAL ORDER DESCENDING)
  list(GET gcc_dirs 0 gcc_dir)
  set(sysroot "--sysroot=/usr/${triplet}")
  set(CMAKE_C_FLAGS_INIT "${sysroot}")
  set(CMAKE_CXX_FLAGS_INIT "${sysroot} -nostdinc++ \
-isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${triplet} \
-isystem ${gcc_dir}/include/c++/backward")
  # The compiler flags reach the link lines too, where the include flags
  # mean nothing.
  set(clang_link
      "-fuse-ld=lld -pthread -L${gcc_dir} -Wno-unused-command-line-argument")
else()
  find_program(CMAKE_C_COMPILER NAMES ${triplet}-gcc-posix ${triplet}-gcc
               REQUIRED)
  find_program(CMAKE_CXX_COMPILER NAMES ${triplet}-g++-posix ${triplet}-g++
               REQUIRED)
  set(clang_link "")
endif()
find_program(CMAKE_RC_COMPILER NAMES ${triplet}-windres)
# Wine runs the test programs when CTest is asked to.
find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES wine64 wine)

# Libraries built for the target (GoogleTest, see scripts/windows-check.sh)
# are installed below this prefix.
set(TESSALINE_MINGW_PREFIX "" CACHE PATH
    "Install prefix of libraries cross-built for the target")
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} ${TESSALINE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The build machine's pkg-config files describe Linux libraries; none of
# them can be linked into a Windows program. Only the target's are looked
# at.
set(ENV{PKG_CONFIG_LIBDIR}
    "/usr/${triplet}/lib/pkgconfig:${TESSALINE_MINGW_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static ${clang_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static ${clang_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static ${clang_link}")
