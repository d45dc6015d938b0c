#!/bin/bash
# Builds the OCR engine (Leptonica and Tesseract) as static libraries for the
# 64-bit Windows target from Debian's source packages, into a prefix under
# DEPS_DIR that is named by the source versions and the build flags.
#
#   build-mingw-ocr.sh --key DEPS_DIR         print the prefix folder's path
#   build-mingw-ocr.sh --build DEPS_DIR JOBS [LAUNCHER]
#
# A prefix whose stamp names the same versions and flags is kept as it is,
# so a second build costs nothing. The prefix appears whole or not at all.
set -euo pipefail
shopt -s inherit_errexit

# One function, read whole before it runs: editing the script during a build
# cannot change what that build does.
main() {
  local here; here=$(cd "$(dirname "$0")" && pwd)
  toolchain=$here/../../cmake/mingw-w64.cmake
  mode=${1:?mode}; deps=${2:?deps folder}
  mkdir -p "$deps"; deps=$(cd "$deps" && pwd)

  src_version() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -1
  }
  lept_ver=$(src_version leptonlib)
  tess_ver=$(src_version tesseract)
  if [ -z "$lept_ver" ] || [ -z "$tess_ver" ]; then
    echo "build-mingw-ocr: Debian's source lists are not enabled (run 'make deps')" >&2
    exit 1
  fi

  # -O2 without debug information keeps the build quick. MinGW-w64 gcc does not
  # keep the stack 32-byte aligned on Win64, so spills of AVX registers must not
  # use aligned moves: the assembler turns every aligned vector move into an
  # unaligned one (the engine picks its AVX2/FMA/AVX-512 code at run time).
  flags="-O2 -g0 -DNDEBUG -Wa,-muse-unaligned-vector-move"
  # Without image file libraries, Tesseract's debug fonts (TIFF-coded) cannot
  # be made and its line images would go through a PNG-less encode: no debug
  # fonts, and line images stay pixels (no encoding round trip per line).
  tess_flags="-DTESSERACT_DISABLE_DEBUG_FONTS -DTESSERACT_IMAGEDATA_AS_PIX"
  cc=$(x86_64-w64-mingw32-gcc-posix -dumpfullversion 2>/dev/null || x86_64-w64-mingw32-gcc-posix -dumpversion)
  key="leptonlib=$lept_ver tesseract=$tess_ver gcc=$cc flags=$flags tesseract-flags=$tess_flags static no-image-libs no-archive no-curl no-openmp no-march-native"
  prefix=$deps/ocr-engine-$(printf '%s' "$key" | sha1sum | cut -c1-12)

  if [ "$mode" = --key ]; then echo "$prefix"; exit 0; fi
  [ "$mode" = --build ] || { echo "build-mingw-ocr: unknown mode $mode" >&2; exit 2; }
  jobs=${VLM_OCR_JOBS:-${3:-2}}; launcher=${4:-}

  exec 9>"$deps/.lock"
  flock 9
  if [ -f "$prefix/stamp" ] && [ "$(cat "$prefix/stamp")" = "$key" ]; then
    exit 0
  fi

  start=$(date +%s)
  # Sources: apt-get source into a folder per Debian version.
  fetch() { # package version -> prints the unpacked source folder
    local dir=$deps/src/$1_$2
    if [ ! -f "$dir/.unpacked" ]; then
      rm -rf "$dir"; mkdir -p "$dir"
      # As root apt cannot hand the download to its own user in our folder.
      local sandbox=(); [ "$(id -u)" -ne 0 ] || sandbox=(-o APT::Sandbox::User=root)
      (cd "$dir" && apt-get source -qq "${sandbox[@]}" --only-source "$1=$2" >&2)
      touch "$dir/.unpacked"
    fi
    find "$dir" -mindepth 2 -maxdepth 2 -name CMakeLists.txt -printf '%h\n' | head -1
  }
  lept_src=$(fetch leptonlib "$lept_ver")
  tess_src=$(fetch tesseract "$tess_ver")

  stage=$prefix.partial
  work=$deps/work
  rm -rf "$stage" "$work"
  mkdir -p "$stage" "$work"
  common=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
          -DCMAKE_C_FLAGS_RELEASE="$flags" -DCMAKE_CXX_FLAGS_RELEASE="$flags"
          -DCMAKE_INSTALL_PREFIX="$stage" -DBUILD_SHARED_LIBS=OFF -DSW_BUILD=OFF
          -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON)
  if [ -n "$launcher" ]; then
    common+=(-DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
  fi

  # step LOG COMMAND...: the command's output goes to the log, shown when it fails.
  step() {
    local log=$work/$1.log; shift
    "$@" >>"$log" 2>&1 || { tail -n 60 "$log" >&2; echo "build-mingw-ocr: failed, see $log" >&2; exit 1; }
  }

  # Leptonica: we hand it pixels, so no image file libraries.
  step leptonica cmake -S "$lept_src" -B "$work/leptonica" "${common[@]}" -DBUILD_PROG=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_GIF=ON -DCMAKE_DISABLE_FIND_PACKAGE_JPEG=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON -DCMAKE_DISABLE_FIND_PACKAGE_TIFF=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_ZLIB=ON
  step leptonica cmake --build "$work/leptonica" -j"$jobs"
  step leptonica cmake --install "$work/leptonica"

  # Tesseract: the library only. -march=native would bake the build machine's
  # processor into the generic code path, so it is switched off.
  step tesseract cmake -S "$tess_src" -B "$work/tesseract" "${common[@]}" \
    -DCMAKE_CXX_FLAGS="$tess_flags" \
    -DLeptonica_DIR="$stage/lib/cmake/leptonica" -DBUILD_TRAINING_TOOLS=OFF \
    -DDISABLE_ARCHIVE=ON -DDISABLE_CURL=ON -DOPENMP_BUILD=OFF -DGRAPHICS_DISABLED=ON \
    -DENABLE_OPENCL=OFF -DINSTALL_CONFIGS=OFF -DBUILD_TESTS=OFF \
    -DCOMPILER_SUPPORTS_MARCH_NATIVE=OFF -DCMAKE_DISABLE_FIND_PACKAGE_TIFF=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenMP=ON
  step tesseract cmake --build "$work/tesseract" -j"$jobs" --target libtesseract
  mkdir -p "$stage/include/tesseract"
  cp "$tess_src"/include/tesseract/*.h "$work/tesseract/include/tesseract/version.h" "$stage/include/tesseract/"
  cp "$work/tesseract"/libtesseract*.a "$stage/lib/libtesseract.a"
  # Fixed names for the tree; the package files would name the old ones.
  mv "$stage"/lib/libleptonica-*.a "$stage/lib/libleptonica.a"
  rm -rf "$stage/lib/cmake" "$stage/lib/pkgconfig"

  printf '%s\n' "$key" >"$stage/stamp"
  rm -rf "$prefix" && mv "$stage" "$prefix"
  rm -rf "$work"
  # Prefixes of other versions or flags are not used again.
  find "$deps" -mindepth 1 -maxdepth 1 -name 'ocr-engine-*' ! -path "$prefix" -exec rm -rf {} +
  echo "build-mingw-ocr: built $key in $(( $(date +%s) - start )) s"
}
main "$@"
