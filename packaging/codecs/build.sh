#!/usr/bin/env bash
# Builds the codecs' static libraries from the checked sources (sources.sh)
# for one target, into PREFIX (include/, lib/, lib/pkgconfig/, and the
# licences in share/licenses/):
#   packaging/codecs/build.sh native|web|windows|aarch64|s390x SOURCES PREFIX
# Every target compiles the same sources with the same options, and no
# multiply-add is fused (-ffp-contract=off): the floating-point encoder
# (Vorbis) then makes the same bytes on every platform.
# The project's build finds them with -DKELVOR_CODEC_PREFIX=PREFIX. A
# PREFIX already built from the same sources is left as it is.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
target="$1" sources="$(cd "$2" && pwd)"
mkdir -p "$3"
prefix="$(cd "$3" && pwd)"
stamp="$prefix/.built-from-$(sha256sum "$root/packaging/codecs/sources.lock" "$0" | sha256sum | cut -c1-16)"
[ -f "$stamp" ] && exit 0

configure=(cmake)
common=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-ffp-contract=off -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "-DCMAKE_INSTALL_PREFIX=$prefix"
        "-DCMAKE_PREFIX_PATH=$prefix" "-DCMAKE_FIND_ROOT_PATH=$prefix" -DCMAKE_POLICY_DEFAULT_CMP0069=NEW)
ogg_sizes=()
case "$target" in
  web)
    configure=(emcmake cmake)
    # Emscripten's CMake cannot run its type-size checks: wasm32's answers.
    for t in INT16:2 UINT16:2 INT32:4 UINT32:4 INT64:8 SHORT:2 INT:4 LONG:4 LONG_LONG:8; do
      ogg_sizes+=("-DHAVE_${t%%:*}_SIZE=TRUE" "-D${t%%:*}_SIZE=${t##*:}")
    done
    # Its optimizer runs on the system's node, which finds acorn only here.
    export NODE_PATH=/usr/share/nodejs ;;
  native) ;;
  windows) common+=("-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake") ;;
  aarch64) common+=("-DCMAKE_TOOLCHAIN_FILE=$root/cmake/aarch64-linux-gnu.cmake") ;;
  s390x) common+=("-DCMAKE_TOOLCHAIN_FILE=$root/cmake/s390x-linux-gnu.cmake") ;;
  *) echo "build.sh: no target $target (native, web, windows, aarch64, s390x)" >&2; exit 2 ;;
esac

work="$prefix/.work"
rm -rf "$work"
build() {  # name, source folder, its options...
  local name="$1" src="$2"
  shift 2
  "${configure[@]}" -S "$src" -B "$work/$name" "${common[@]}" "$@" >"$work.$name.log" 2>&1 ||
    { cat "$work.$name.log" >&2; exit 1; }
  cmake --build "$work/$name" -j2 >>"$work.$name.log" 2>&1 && cmake --install "$work/$name" >>"$work.$name.log" 2>&1 ||
    { tail -40 "$work.$name.log" >&2; exit 1; }
}
build ogg "$sources/libogg" -DINSTALL_DOCS=OFF "${ogg_sizes[@]}"
# The cross toolchains search their own root only: Ogg named outright.
build vorbis "$sources/libvorbis" "-DOGG_INCLUDE_DIR=$prefix/include" "-DOGG_LIBRARY=$prefix/lib/libogg.a"
# flac's stack protector needs a runtime that Emscripten has not; no
# programs, C++ library, Ogg FLAC or documents: the encoder alone.
build flac "$sources/flac" -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
  -DINSTALL_MANPAGES=OFF -DWITH_OGG=OFF -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF \
  -DINSTALL_CMAKE_CONFIG_MODULE=OFF
mkdir -p "$prefix/share/licenses"
cp "$sources/flac/COPYING.Xiph" "$prefix/share/licenses/flac.txt"
cp "$sources/libogg/COPYING" "$prefix/share/licenses/libogg.txt"
cp "$sources/libvorbis/COPYING" "$prefix/share/licenses/libvorbis.txt"
# What was built, from which Debian source package: "libFLAC 1.4.2 (Debian flac 1.4.2+ds-2)".
for p in flac:libFLAC libogg:libogg libvorbis:libvorbis; do
  version=$(awk -v p="${p%%:*}" '$1 == p { print $2 }' "$root/packaging/codecs/sources.lock")
  printf '%s %s (Debian source package %s %s)\n' "${p##*:}" "${version%%[-+]*}" "${p%%:*}" "$version"
done >"$prefix/share/licenses/SOURCES"
rm -rf "$work" "$work".*.log
touch "$stamp"
