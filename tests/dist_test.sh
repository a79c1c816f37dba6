#!/usr/bin/env bash
# The release as a user gets it: each artefact of dist/ unpacked or installed
# into a temporary folder, the example converted from there and compared byte
# for byte with the native build's output.
#
#   tests/dist_test.sh DIST NATIVE_KELVOR EXAMPLE
#
# Needs sha256sum, file, lintian, unzip, qemu-aarch64, Wine (with WINEPREFIX
# set up as .ci/run does), Node with the page's npm packages, Chromium, CMake
# and g++.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dist=$(cd "$1" && pwd)
native=$(realpath "$2")
example=$(realpath "$3")
version=$(head -n1 "$here/../VERSION")    # the banner's and the manual page's
release=$(head -n1 "$here/../RELEASE")    # every file's name
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0

fail() { echo "FAILED: $*"; echo "$passed passed, 1 failed"; exit 1; }
pass() { echo "ok: $*"; passed=$((passed + 1)); }
same() { cmp -s "$1" "$2" || fail "$3: $1 differs from $2"; }
# Every relative link of every Markdown file in a folder names a file there.
links_held() {  # FOLDER
  local md target
  while IFS= read -r md; do
    while IFS= read -r target; do
      case $target in http:* | https:* | mailto:* | '#'*) continue ;; esac
      [ -e "$(dirname "$md")/${target%%#*}" ] || fail "${md#"$1"/} links to $target, which is not beside it"
    done < <(grep -o '](\([^) ]*\))' "$md" | sed 's/^](\(.*\))$/\1/')
  done < <(find "$1" -name '*.md')
}
crlf_only() {  # every line of the file ends in CR LF
  [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ] && [ "$(wc -l <"$1")" -gt 0 ] || fail "$1 is not CR LF text"
}

# The reference: the native build, in a folder that holds only the example.
mkdir "$tmp/ref"
cp "$example" "$tmp/ref/example.zq"
(cd "$tmp/ref" && "$native" example.zq >stdout && cp example.zq three.zq && "$native" three.zq -l3 >/dev/null)

linux=kelvor-$release-linux-x86_64
aarch64=kelvor-$release-linux-aarch64
windows=kelvor-$release-windows-x86_64
expected="SHA256SUMS $linux.tar.gz $aarch64.tar.gz kelvor-$release-src.tar.gz $windows.zip kelvor-$release.html kelvor_${release}_amd64.deb"
[ "$(cd "$dist" && ls | LC_ALL=C sort | tr '\n' ' ')" = "$(tr ' ' '\n' <<<"$expected" | LC_ALL=C sort | tr '\n' ' ')" ] \
  || fail "dist/ holds $(ls "$dist" | tr '\n' ' '), not $expected"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"
[ "$(wc -l <"$dist/SHA256SUMS")" -eq 6 ] || fail "SHA256SUMS does not list the six artefacts"
for f in $expected; do
  grep -q "\`$f\`" "$here/../README.md" || fail "the README does not name $f"
done
pass "dist/ holds the six artefacts of $release, the README names each, and their checksums agree"

# Linux: static binaries that run with an empty environment, the aarch64 one
# under qemu-user.
for tarball in "$linux:" "$aarch64:qemu-aarch64"; do
  name=${tarball%%:*}
  runner=${tarball#*:}
  tar -xzf "$dist/$name.tar.gz" -C "$tmp"
  for f in kelvor kelvor-batch kelvor.1 kelvor-batch.1 README.md LICENSE CHANGELOG.md example.zq; do
    [ -f "$tmp/$name/$f" ] || fail "$name.tar.gz lacks $f"
  done
  file -b "$tmp/$name/kelvor" | grep -q "statically linked" || fail "$(file -b "$tmp/$name/kelvor")"
  same "$tmp/$name/example.zq" "$example" "the tarball's example"
  links_held "$tmp/$name"
  (cd "$tmp/$name" && env -i $runner ./kelvor example.zq >stdout) || fail "the static kelvor of $name failed"
  same "$tmp/$name/example.wav" "$tmp/ref/example.wav" "$name's kelvor"
  same "$tmp/$name/stdout" "$tmp/ref/stdout" "$name's kelvor's messages"
  grep -q "^\.TH KELVOR 1 .* \"kelvor $version\"" "$tmp/$name/kelvor.1" || fail "the manual page's version"
  file -b "$tmp/$name/kelvor-batch" | grep -q "statically linked" || fail "$(file -b "$tmp/$name/kelvor-batch")"
  mkdir -p "$tmp/$name/Game/bgm"
  cp "$example" "$tmp/$name/Game/bgm/town.zq"
  (cd "$tmp/$name" && env -i $runner ./kelvor-batch Game --out out -l3 -j2 >batch.out) \
    || { cat "$tmp/$name/batch.out"; fail "the static kelvor-batch of $name failed"; }
  same "$tmp/$name/out/Game/bgm/town.wav" "$tmp/ref/three.wav" "$name's kelvor-batch"
  if [ -z "$runner" ]; then  # the x86-64 build carries the codecs, and their notices
    (cd "$tmp/$name" && env -i ./kelvor-batch Game --out flac -f flac --kind kept >/dev/null) || fail "$name's FLAC"
    flac -t -s "$tmp/$name/flac/Game/bgm/town.flac" || fail "$name's FLAC does not decode"
    grep -q "libFLAC" "$tmp/$name/NOTICES" && grep -q "Xiph" "$tmp/$name/NOTICES" || fail "$name lacks the codecs' notices"
  fi
  grep -q "^\.TH KELVOR-BATCH 1 .* \"kelvor $version\"" "$tmp/$name/kelvor-batch.1" || fail "the batch manual's version"
  pass "$name.tar.gz: static, runs with an empty environment${runner:+ under $runner}, gives the native bytes, and so does its kelvor-batch"
done
file -b "$tmp/$aarch64/kelvor" | grep -q "ARM aarch64" || fail "$aarch64's kelvor: $(file -b "$tmp/$aarch64/kelvor")"

# Debian: lintian finds no error; the package converts the example.
deb=$dist/kelvor_${release}_amd64.deb
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>"$tmp/lintian.err" \
  || { cat "$tmp/lintian" "$tmp/lintian.err"; fail "lintian"; }
dpkg-deb -x "$deb" "$tmp/deb"
doc=$tmp/deb/usr/share/doc/kelvor
grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$doc/copyright" || fail "copyright"
[ "$(grep -c "^License: BSD-3-clause-" "$doc/copyright")" -eq 3 ] || fail "the copyright file lacks the codecs' licences"
zcat "$doc/changelog.Debian.gz" | head -n1 | grep -q "^kelvor ($release) " || fail "changelog.Debian.gz"
[ "$(dpkg-deb -f "$deb" Version)" = "$release" ] || fail "the package's version is not the release's"
zcat "$tmp/deb/usr/share/man/man1/kelvor.1.gz" | grep -q "\"kelvor $version\"" || fail "manual page"
file -b "$tmp/deb/usr/bin/kelvor" | grep -q ", stripped" || fail "the packaged kelvor is not stripped"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no extended description"
"$tmp/deb/usr/bin/kelvor" "$tmp/deb/usr/share/kelvor/example.zq" "$tmp/deb.wav" >/dev/null
same "$tmp/deb.wav" "$tmp/ref/example.wav" "the packaged kelvor"
zcat "$tmp/deb/usr/share/man/man1/kelvor-batch.1.gz" | grep -q "^\.TH KELVOR-BATCH" || fail "the batch manual page"
mkdir "$tmp/deb-batch" && cp "$example" "$tmp/deb-batch/a.zq"
"$tmp/deb/usr/bin/kelvor-batch" "$tmp/deb-batch" >/dev/null
same "$tmp/deb-batch/a.wav" "$tmp/ref/example.wav" "the packaged kelvor-batch"
pass "kelvor_${release}_amd64.deb: lintian reports no error$(grep -q . "$tmp/lintian" && printf ' (%s)' "$(cut -d' ' -f2- "$tmp/lintian" | tr '\n' ';')")"

# Windows: kelvor.exe, and convert-all.exe as Explorer and a console use it;
# a guide that names only what the kit holds.
unzip -q "$dist/$windows.zip" -d "$tmp"
kit=$tmp/$windows
kit_files="LICENSE.txt README.txt convert-all.exe example.zq kelvor-batch.exe kelvor.exe kelvor.html"
[ "$(cd "$kit" && ls | LC_ALL=C sort | tr '\n' ' ')" = "$kit_files " ] || fail "$windows.zip holds $(ls "$kit" | tr '\n' ' ')"
for f in README.txt LICENSE.txt; do crlf_only "$kit/$f"; done
tr -d '\r' <"$kit/README.txt" >"$tmp/guide"
listed=$(sed -n '/^Files in this folder/,/^Report a problem/p' "$tmp/guide" | awk '/^    [^ ]/ {print $1}' | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "$kit_files " ] || fail "README.txt lists $listed"
! grep -Eq '\.md\b|doc/|kelvor-[0-9]|!\[' "$tmp/guide" || fail "README.txt names something outside the kit"
head -n1 "$tmp/guide" | grep -qx "kelvor $release for Windows" || fail "README.txt's title"
grep -q "bundles client-zip" "$kit/LICENSE.txt" && [ "$(grep -c "Permission is hereby granted" "$kit/LICENSE.txt")" -eq 2 ] \
  || fail "LICENSE.txt lacks the notice of what the page bundles"
[ "$(grep -c "Redistribution and use in source and binary forms" "$kit/LICENSE.txt")" -eq 3 ] && grep -q "libFLAC 1.4.2" "$kit/LICENSE.txt" \
  || fail "LICENSE.txt lacks the codecs' licences"
cmp -s "$kit/kelvor.html" "$dist/kelvor-$release.html" || fail "the kit's page is not the released one"
cmp -s "$kit/kelvor-batch.exe" "$kit/convert-all.exe" || fail "convert-all.exe is not the batch command"
(cd "$kit" && wine kelvor.exe example.zq </dev/null >stdout) || fail "kelvor.exe failed"
tr -d '\r' <"$kit/stdout" >"$kit/stdout.lf"
same "$kit/example.wav" "$tmp/ref/example.wav" "kelvor.exe"
same "$kit/stdout.lf" "$tmp/ref/stdout" "kelvor.exe's messages"
rm "$kit/example.wav" "$kit/stdout" "$kit/stdout.lf"
pass "$windows.zip: the kit and its guide; kelvor.exe under Wine gives the native bytes; its texts are CR LF"

# Named files and folders (walked for .zq in any letter case), names that a
# batch file's cmd would expand or split, options for every run, a failure
# counted; containers and other files left as they were.
w=$tmp/many
mkdir -p "$w/folder/sub/deeper" "$w/folder/with space" "$w/odd %d! &"
for f in a.zq b.zq folder/sub/C.ZQ "folder/with space/d e.zq" folder/sub/deeper/e.Zq "100% done.zq" "wow!.zq" \
         "a&b^c.zq" "odd %d! &/%PATH%.zq"; do
  cp "$example" "$w/$f"
done
echo "not a container" >"$w/folder/notes.txt"
cp "$example" "$w/folder/sub/f.zqx"
(cd "$w" && find . -type f -exec sha256sum {} + | sort >"$tmp/before")
set +e
(cd "$w" && wine "$kit/convert-all.exe" a.zq -l3 b.zq folder missing.zq "100% done.zq" "wow!.zq" "a&b^c.zq" \
   "odd %d! &" </dev/null >"$tmp/many.out" 2>&1)
status=$?
set -e
tr -d '\r' <"$tmp/many.out" >"$tmp/many.txt"
[ "$status" -eq 1 ] || { cat "$tmp/many.txt"; fail "convert-all.exe returned $status, not 1 (one failure)"; }
tail -n3 "$tmp/many.txt" | tr '\n' '|' | grep -qx "convert-all: these files failed:|  missing.zq: error-11 : can not open .zq file.|convert-all: 9 converted, 1 failed\.|" \
  || { cat "$tmp/many.txt"; fail "the failed file's line and the summary"; }
grep -q "error-11 : can not open .zq file." "$tmp/many.txt" || fail "the failed run's message is not shown"
[ "$(grep -c "^setting : loop 3$" "$tmp/many.txt")" -eq 10 ] || fail "-l3 did not reach every run"
for f in a b folder/sub/C "folder/with space/d e" folder/sub/deeper/e "100% done" "wow!" "a&b^c" "odd %d! &/%PATH%"; do
  same "$w/$f.wav" "$tmp/ref/three.wav" "$f"
done
[ "$(cd "$w" && find . -name '*.wav' | wc -l)" -eq 9 ] || fail "a file other than the nine containers was converted"
(cd "$w" && find . -type f ! -name '*.wav' -exec sha256sum {} + | sort >"$tmp/after")
same "$tmp/after" "$tmp/before" "the containers and other files"
pass "convert-all.exe with files, folders, -l3, a missing file and names holding % ! & ^: 9 converted, 1 failed"

# A double-click: no names, so the files of the program's own folder, from
# wherever it was started.
cp "$example" "$kit/second.zq"
(cd /tmp && wine "$kit/convert-all.exe" </dev/null >"$tmp/click.out" 2>&1) || fail "the double-click run failed"
grep -q "convert-all: 2 converted, 0 failed\." "$tmp/click.out" || { cat "$tmp/click.out"; fail "double-click summary"; }
same "$kit/example.wav" "$tmp/ref/example.wav" "double-click: example"
same "$kit/second.wav" "$tmp/ref/example.wav" "double-click: second"
pass "convert-all.exe double-clicked: its folder's files converted"

# Started where it finds no container, as from inside its zip: it names the
# folder it looked in, and says what to do in the guide's own words.
mkdir "$tmp/inzip" && cp "$kit/convert-all.exe" "$tmp/inzip/"
set +e
(cd /tmp && wine "$tmp/inzip/convert-all.exe" </dev/null >"$tmp/inzip.out" 2>&1)
status=$?
set -e
[ "$status" -eq 1 ] || fail "the run without containers returned $status, not 1 (nothing converted)"
tr -d '\r' <"$tmp/inzip.out" >"$tmp/inzip.txt"
grep -q '^convert-all: no \.zq file in .*inzip\.$' "$tmp/inzip.txt" || { cat "$tmp/inzip.txt"; fail "where it looked"; }
tail -n1 "$tmp/inzip.txt" | grep -qx "convert-all: 0 converted, 0 failed\." || fail "the summary without containers"
[ "$(grep -c '^convert-all: \(drop\|if\) ' "$tmp/inzip.txt")" -eq 2 ] || fail "no hint without containers"
grep '^convert-all: \(drop\|if\) ' "$tmp/inzip.txt" | while IFS= read -r line; do
  grep -qxF "    $line" "$tmp/guide" || fail "README.txt does not show: $line"
done
pass "convert-all.exe without containers: the folder it looked in, and the guide's hint"

# The page: the browser test against the released file.
page=$dist/kelvor-$release.html
grep -q "Copyright (c) 2026 the kelvor developers" "$page" || fail "the page carries no license"
node "$here/browser_test.mjs" --page "$page" --kelvor "$native" --example "$example" >"$tmp/browser" 2>&1 \
  || { cat "$tmp/browser"; fail "the released page"; }
pass "kelvor-$release.html: the browser test passes against it"

# The source: it builds with the README's first command alone and converts
# the example; the tests' configuration names GoogleTest when it is missing.
tar -xzf "$dist/kelvor-$release-src.tar.gz" -C "$tmp"
src=$tmp/kelvor-$release
(cd "$src" && cmake -S . -B build >/dev/null && cmake --build build -j2 >/dev/null && ./build/kelvor build/example.zq >/dev/null) \
  || fail "the source does not build with the first set-up command"
same "$src/build/example.wav" "$tmp/ref/example.wav" "built from the source archive"
[ ! -e "$src/build/tests" ] || fail "the first set-up command configured the tests"
set +e
(cd "$src" && cmake -S . -B build-t -DBUILD_TESTING=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$tmp/no-gtest" 2>&1)
status=$?
set -e
[ "$status" -ne 0 ] && grep -q "install libgtest-dev" "$tmp/no-gtest" || fail "a missing GoogleTest is not named"
links_held "$src"
pass "kelvor-$release-src.tar.gz builds and converts with CMake and a compiler alone"

echo "$passed passed, 0 failed"
