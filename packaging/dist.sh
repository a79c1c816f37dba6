#!/usr/bin/env bash
# Makes a release into dist/: every platform built in a folder of its own
# under build-dist/, then packed with the notices it must carry, then one
# SHA256SUMS over them all. Every file is named by the release (the file
# RELEASE: the program's version, "-r" and the release's number), which no
# other build of that version shares.
#
#   packaging/dist.sh
#
# Needs what .ci/run installs: CMake, g++, g++-aarch64-linux-gnu, MinGW-w64,
# Emscripten, Node and npm, dpkg-dev, zip, git. The archives are made from sorted entries with the
# last commit's time, so the same commit gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

release=$(head -n1 RELEASE)
dist=dist
work=build-dist
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
rm -rf "$dist" "$work"
mkdir -p "$dist" "$work"

say() { echo "== dist: $*"; }

# `wrapper`, when set, runs the configuration (emcmake for the page).
configure_and_build() {  # FOLDER CMAKE-ARGUMENTS...
  local folder=$1
  shift
  ${wrapper:-} cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@" >/dev/null
  cmake --build "$folder" -j2 >/dev/null
}

# A folder as a .tar.gz or a .zip, entries sorted, times and owners fixed.
pack_tar() {  # FOLDER-IN-STAGE ARCHIVE
  tar -C "$stage" --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
      -cf - "$1" | gzip -9n >"$2"
}
pack_zip() {  # FOLDER-IN-STAGE ARCHIVE
  find "$stage/$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$stage" && find "$1" -print | LC_ALL=C sort | zip -q -X -9 "$OLDPWD/$2" -@)
}

crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }  # text for Windows: every line ends in CR LF

stage=$work/stage
mkdir -p "$stage"

# The README's user part, for an archive that holds the program but not the
# guides and pictures that the whole README links to.
python3 packaging/user_readme.py README.md "$work/README.md" LICENSE CHANGELOG.md

# The codecs, built for each platform from the same checked sources: every
# artefact's FLAC and Ogg files are the same bytes (packaging/codecs).
packaging/codecs/sources.sh build-codecs/sources
for target in native web windows aarch64; do
  packaging/codecs/build.sh "$target" build-codecs/sources "build-codecs/$target"
done
codecs=$PWD/build-codecs

# What a program linked with the codecs carries of others: their licences.
codec_notices() {
  printf 'kelvor-batch is statically linked with these libraries, for FLAC and Ogg Vorbis:\n\n'
  sed 's/^/  /' "$codecs/native/share/licenses/SOURCES"
  local lib
  for lib in flac libogg libvorbis; do
    printf '\n\n%s:\n\n' "$lib"
    sed '$a\' "$codecs/native/share/licenses/$lib.txt"
  done
}

# A static Linux tarball: the programs, their manual pages and the texts.
linux_tarball() {  # BUILD-FOLDER ARCHITECTURE STRIP
  local name=kelvor-$release-linux-$2
  mkdir -p "$stage/$name"
  for program in kelvor kelvor-batch; do
    "$3" -o "$stage/$name/$program" "$1/$program"
    chmod 755 "$stage/$name/$program"
  done
  install -m 644 "$work/linux/kelvor.1" "$work/linux/kelvor-batch.1" "$work/linux/example.zq" "$work/README.md" \
    LICENSE CHANGELOG.md "$stage/$name/"
  if grep -aq "reference libFLAC" "$1/kelvor-batch"; then  # built with the codecs (grep -q ends a pipe early: no pipe)
    codec_notices >"$stage/$name/NOTICES"
    chmod 644 "$stage/$name/NOTICES"
  fi
  pack_tar "$name" "$dist/$name.tar.gz"
}

say "Linux x86-64, statically linked"
configure_and_build "$work/linux" -DCMAKE_EXE_LINKER_FLAGS=-static -DKELVOR_CODEC_PREFIX="$codecs/native"
linux_tarball "$work/linux" x86_64 strip

say "Linux aarch64, statically linked"
configure_and_build "$work/aarch64" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DKELVOR_CODEC_PREFIX="$codecs/aarch64"
linux_tarball "$work/aarch64" aarch64 aarch64-linux-gnu-strip

say "Debian package"
# Built with the hardening that Debian's own packages get.
configure_and_build "$work/deb" -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" -DKELVOR_CODEC_PREFIX="$codecs/native"
(cd "$work/deb" && cpack -G DEB -B "$PWD/package" >/dev/null)
cp "$work/deb/package/kelvor_${release}_amd64.deb" "$dist/"

say "the page"
[ -f node_modules/client-zip/package.json ] && [ -f node_modules/esbuild/package.json ] || npm ci --no-audit --no-fund >/dev/null
wrapper=emcmake configure_and_build "$work/web" -DKELVOR_CODEC_PREFIX="$codecs/web"
cp "$work/web/kelvor.html" "$dist/kelvor-$release.html"

say "Windows x86-64"
# The kit: kelvor, the batch command (also as convert-all.exe, the drop
# tool: the same program), the page, a guide for someone who has never opened
# a console, and the license with the notice of what the page bundles.
configure_and_build "$work/windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKELVOR_CODEC_PREFIX="$codecs/windows"
windows=kelvor-$release-windows-x86_64
mkdir -p "$stage/$windows"
for program in kelvor kelvor-batch convert-all; do
  x86_64-w64-mingw32-strip -o "$stage/$windows/$program.exe" "$work/windows/$program.exe"
done
cp "$work/linux/example.zq" "$stage/$windows/"
cp "$work/web/kelvor.html" "$stage/$windows/kelvor.html"
sed "s/@RELEASE@/$release/" packaging/windows/README.txt >"$work/README.txt"
crlf "$work/README.txt" "$stage/$windows/README.txt"
zip_package=node_modules/client-zip/package.json
zip_name=$(node -p "require('./$zip_package').name")
zip_version=$(node -p "require('./$zip_package').version")
{
  cat LICENSE
  printf '\n\nkelvor.html bundles %s %s, under the MIT License:\n\n' "$zip_name" "$zip_version"
  sed '$a\' node_modules/client-zip/LICENSE*  # its last line may lack its line break
  printf '\n\n'
  codec_notices | sed 's/^kelvor-batch is/kelvor-batch.exe, convert-all.exe and kelvor.html are/'
} >"$work/LICENSE.txt"
crlf "$work/LICENSE.txt" "$stage/$windows/LICENSE.txt"
pack_zip "$windows" "$dist/$windows.zip"

say "source"
ref=HEAD
git rev-parse -q --verify "refs/tags/v$release" >/dev/null && ref="v$release"
git archive --format=tar --prefix="kelvor-$release/" "$ref" | gzip -9n >"$dist/kelvor-$release-src.tar.gz"

(cd "$dist" && sha256sum -- * >SHA256SUMS)
say "made in $dist/ from $ref:"
(cd "$dist" && ls -l)
