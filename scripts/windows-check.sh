#!/usr/bin/env bash
# Cross-builds the Windows DLL, the command-line host and the test programs
# with mingw-w64 (warnings are errors), then runs the test programs that
# need no IMAPI2 under Wine (which has none), and the host written in C
# against the DLL's C interface, in a fresh Wine prefix that is removed
# afterwards.
#
#   scripts/windows-check.sh [BUILD_DIR]        (default: build-win)
#
# TESSALINE_WINDOWS_COMPILER=clang builds with Debian's clang for the
# mingw-w64 target instead of mingw-w64's g++ (use another BUILD_DIR).
# TESSALINE_WINE_TESTS names the test programs to run (default below);
# TESSALINE_WINDOWS_CMAKE_ARGS adds arguments to the cross build's cmake;
# TESSALINE_WINDOWS_TARGETS names the targets to build (default: all);
# TESSALINE_WINDOWS_BUILD_TYPE the build type (default: RelWithDebInfo).
# Wine runs headless: the programs are console programs, and a message box
# that cannot be shown returns at once.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=${1:-build-win}
jobs=${TESSALINE_JOBS:-$(nproc)}

compiler=${TESSALINE_WINDOWS_COMPILER:-gcc}
packages=(cmake make g++-mingw-w64-x86-64-posix googletest wine wine64)
if [[ $compiler == clang ]]; then
  packages+=(clang lld)
fi
scripts/deps.sh "${packages[@]}"

toolchain=$source_dir/cmake/mingw-w64.cmake
mkdir -p "$build"
build=$(realpath "$build")
prefix=$build/target

# GoogleTest for the target, from Debian's sources, once per build folder.
if [[ ! -f $prefix/lib/cmake/GTest/GTestConfig.cmake ]]; then
  echo "== GoogleTest for Windows"
  cmake -S /usr/src/googletest -B "$build/googletest" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DTESSALINE_MINGW_COMPILER="$compiler" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$build/googletest" -j"$jobs" >/dev/null
  cmake --install "$build/googletest" >/dev/null
fi

echo "== cross build (mingw-w64, $compiler)"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE="${TESSALINE_WINDOWS_BUILD_TYPE:-RelWithDebInfo}" \
  -DTESSALINE_MINGW_PREFIX="$prefix" \
  -DTESSALINE_MINGW_COMPILER="$compiler" -DTESSALINE_WERROR=ON \
  ${TESSALINE_WINDOWS_CMAKE_ARGS:-} >/dev/null
read -r -a targets <<<"${TESSALINE_WINDOWS_TARGETS:-all}"
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

echo "== tests under Wine"
wine=$(command -v wine)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-wine-XXXXXX")
drives=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-drives-XXXXXX")
cleanup() {
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$drives"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1
wineserver -w

# Drive letters of the tests' own: M and N lead to folders, which Wine
# counts as fixed disks; the device of drive X is a disc image of four
# 2048-byte sectors.
for letter in m n; do
  mkdir -p "$drives/$letter"
  ln -sfn "$drives/$letter" "$WINEPREFIX/dosdevices/$letter:"
done
head -c 8192 /dev/urandom >"$drives/x.iso"
ln -sfn "$drives/x.iso" "$WINEPREFIX/dosdevices/x::"
export TESSALINE_WINE_FIXED_DRIVES=MN
export TESSALINE_WINE_DEVICE_DRIVE=X:
export TESSALINE_WINE_DEVICE_IMAGE="Z:${drives//\//\\}\\x.iso"

read -r -a tests <<<"${TESSALINE_WINE_TESTS-windows_platform_tests layout_tests}"
status=0
for name in "${tests[@]}"; do
  echo "-- $name"
  # Wine ends lines with CR LF.
  if ! (cd "$build" && "$wine" "bin/$name.exe" --gtest_brief=1) | tr -d '\r'; then
    status=1
  fi
done

# A host written in C, through the DLL's C interface. With no recorder
# under Wine, it runs what needs none.
echo "-- capi_disc_set"
cmake -DDIR="$drives/capi" -P tests/capi/prepare.cmake
if ! (cd "$build" && "$wine" bin/capi_disc_set.exe "Z:${drives//\//\\}\\capi") |
  tr -d '\r'; then
  status=1
fi
exit $status
