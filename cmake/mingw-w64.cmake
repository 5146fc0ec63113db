# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
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

find_program(CMAKE_C_COMPILER NAMES ${triplet}-gcc-posix ${triplet}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${triplet}-g++-posix ${triplet}-g++
             REQUIRED)
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

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
