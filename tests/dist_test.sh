#!/usr/bin/env bash
# The release as a user gets it: each artefact of dist/ unpacked or installed
# into a temporary folder, the example converted from there and compared byte
# for byte with the native build's output.
#
#   tests/dist_test.sh DIST NATIVE_KELVOR EXAMPLE
#
# Needs sha256sum, file, lintian, unzip, Wine (with WINEPREFIX set up as
# .ci/run does), Node with the page's npm packages, Chromium, CMake and g++.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dist=$(cd "$1" && pwd)
native=$(realpath "$2")
example=$(realpath "$3")
version=$(head -n1 "$here/../VERSION")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0

fail() { echo "FAILED: $*"; echo "$passed passed, 1 failed"; exit 1; }
pass() { echo "ok: $*"; passed=$((passed + 1)); }
same() { cmp -s "$1" "$2" || fail "$3: $1 differs from $2"; }
crlf_only() {  # every line of the file ends in CR LF
  [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ] && [ "$(wc -l <"$1")" -gt 0 ] || fail "$1 is not CR LF text"
}

# The reference: the native build, in a folder that holds only the example.
mkdir "$tmp/ref"
cp "$example" "$tmp/ref/example.zq"
(cd "$tmp/ref" && "$native" example.zq >stdout && cp example.zq three.zq && "$native" three.zq -l3 >/dev/null)

linux=kelvor-$version-linux-x86_64
windows=kelvor-$version-windows-x86_64
expected="SHA256SUMS $linux.tar.gz kelvor-$version-src.tar.gz $windows.zip kelvor-$version.html kelvor_${version}_amd64.deb"
[ "$(cd "$dist" && ls | LC_ALL=C sort | tr '\n' ' ')" = "$(tr ' ' '\n' <<<"$expected" | LC_ALL=C sort | tr '\n' ' ')" ] \
  || fail "dist/ holds $(ls "$dist" | tr '\n' ' '), not $expected"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"
[ "$(wc -l <"$dist/SHA256SUMS")" -eq 5 ] || fail "SHA256SUMS does not list the five artefacts"
pass "dist/ holds the five artefacts of $version and their checksums agree"

# Linux: a static binary that runs with an empty environment.
tar -xzf "$dist/$linux.tar.gz" -C "$tmp"
for f in kelvor kelvor.1 README.md LICENSE CHANGELOG.md example.zq; do
  [ -f "$tmp/$linux/$f" ] || fail "$linux.tar.gz lacks $f"
done
file -b "$tmp/$linux/kelvor" | grep -q "statically linked" || fail "$(file -b "$tmp/$linux/kelvor")"
same "$tmp/$linux/example.zq" "$example" "the tarball's example"
(cd "$tmp/$linux" && env -i ./kelvor example.zq >stdout) || fail "the static kelvor failed"
same "$tmp/$linux/example.wav" "$tmp/ref/example.wav" "static kelvor"
same "$tmp/$linux/stdout" "$tmp/ref/stdout" "static kelvor's messages"
grep -q "^\.TH KELVOR 1 .* \"kelvor $version\"" "$tmp/$linux/kelvor.1" || fail "the manual page's version"
pass "$linux.tar.gz: static, runs with an empty environment, gives the native bytes"

# Debian: lintian finds no error; the package converts the example.
deb=$dist/kelvor_${version}_amd64.deb
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>"$tmp/lintian.err" \
  || { cat "$tmp/lintian" "$tmp/lintian.err"; fail "lintian"; }
dpkg-deb -x "$deb" "$tmp/deb"
doc=$tmp/deb/usr/share/doc/kelvor
grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$doc/copyright" || fail "copyright"
zcat "$doc/changelog.gz" | head -n1 | grep -q "^kelvor ($version) " || fail "changelog.gz"
zcat "$tmp/deb/usr/share/man/man1/kelvor.1.gz" | grep -q "\"kelvor $version\"" || fail "manual page"
file -b "$tmp/deb/usr/bin/kelvor" | grep -q ", stripped" || fail "the packaged kelvor is not stripped"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no extended description"
"$tmp/deb/usr/bin/kelvor" "$tmp/deb/usr/share/kelvor/example.zq" "$tmp/deb.wav" >/dev/null
same "$tmp/deb.wav" "$tmp/ref/example.wav" "the packaged kelvor"
pass "kelvor_${version}_amd64.deb: lintian reports no error$(grep -q . "$tmp/lintian" && printf ' (%s)' "$(cut -d' ' -f2- "$tmp/lintian" | tr '\n' ';')")"

# Windows: kelvor.exe, and convert-all.cmd as a console, a script and
# Explorer use it.
unzip -q "$dist/$windows.zip" -d "$tmp"
kit=$tmp/$windows
for f in kelvor.exe README.txt LICENSE.txt convert-all.cmd example.zq; do
  [ -f "$kit/$f" ] || fail "$windows.zip lacks $f"
done
for f in README.txt LICENSE.txt convert-all.cmd; do crlf_only "$kit/$f"; done
(cd "$kit" && wine kelvor.exe example.zq </dev/null >stdout) || fail "kelvor.exe failed"
tr -d '\r' <"$kit/stdout" >"$kit/stdout.lf"
same "$kit/example.wav" "$tmp/ref/example.wav" "kelvor.exe"
same "$kit/stdout.lf" "$tmp/ref/stdout" "kelvor.exe's messages"
rm "$kit/example.wav" "$kit/stdout" "$kit/stdout.lf"
pass "$windows.zip: kelvor.exe under Wine gives the native bytes; its texts are CR LF"

# Named files and folders (walked for .zq in any letter case), options for
# every run, a failure counted; containers and other files left as they were.
w=$tmp/many
mkdir -p "$w/folder/sub/deeper" "$w/folder/with space"
for f in a.zq b.zq folder/sub/C.ZQ "folder/with space/d e.zq" folder/sub/deeper/e.Zq; do cp "$example" "$w/$f"; done
echo "not a container" >"$w/folder/notes.txt"
cp "$example" "$w/folder/sub/f.zqx"
(cd "$w" && find . -type f -exec sha256sum {} + | sort >"$tmp/before")
set +e
(cd "$w" && wine cmd /c "$kit/convert-all.cmd" a.zq -l3 b.zq folder missing.zq </dev/null >"$tmp/many.out" 2>&1)
status=$?
set -e
tr -d '\r' <"$tmp/many.out" >"$tmp/many.txt"
[ "$status" -eq 1 ] || { cat "$tmp/many.txt"; fail "convert-all.cmd returned $status, not 1 (one failure)"; }
tail -n1 "$tmp/many.txt" | grep -qx "convert-all: 5 converted, 1 failed\." || { cat "$tmp/many.txt"; fail "summary"; }
grep -q "error-11 : can not open .zq file." "$tmp/many.txt" || fail "the failed run's message is not shown"
[ "$(grep -c "^setting : loop 3$" "$tmp/many.txt")" -eq 6 ] || fail "-l3 did not reach every run"
! grep -q "Press any key" "$tmp/many.txt" || fail "convert-all.cmd waited for a key in a script"
for f in a b folder/sub/C "folder/with space/d e" folder/sub/deeper/e; do same "$w/$f.wav" "$tmp/ref/three.wav" "$f"; done
[ "$(cd "$w" && find . -name '*.wav' | wc -l)" -eq 5 ] || fail "a file other than the five containers was converted"
(cd "$w" && find . -type f ! -name '*.wav' -exec sha256sum {} + | sort >"$tmp/after")
same "$tmp/after" "$tmp/before" "the containers and other files"
pass "convert-all.cmd a.zq -l3 b.zq folder missing.zq: 5 converted, 1 failed, sources untouched"

# A double-click: Explorer's command line; this folder's files, then a key.
cp "$example" "$kit/second.zq"
explorer="C:\\windows\\system32\\cmd.exe /c \"\"$(winepath -w "$kit/convert-all.cmd")\" \""
(cd /tmp && echo | cmdcmdline=$explorer wine cmd /c "$kit/convert-all.cmd" >"$tmp/click.out" 2>&1) \
  || fail "the double-click run failed"
grep -q "convert-all: 2 converted, 0 failed\." "$tmp/click.out" || { cat "$tmp/click.out"; fail "double-click summary"; }
grep -q "Press any key" "$tmp/click.out" || fail "started from Explorer, convert-all.cmd did not wait for a key"
same "$kit/example.wav" "$tmp/ref/example.wav" "double-click: example"
same "$kit/second.wav" "$tmp/ref/example.wav" "double-click: second"
pass "convert-all.cmd double-clicked: its folder's files converted, then a key awaited"

# The page: the browser test against the released file.
page=$dist/kelvor-$version.html
grep -q "Copyright (c) 2026 the kelvor developers" "$page" || fail "the page carries no license"
node "$here/browser_test.mjs" --page "$page" --kelvor "$native" --example "$example" >"$tmp/browser" 2>&1 \
  || { cat "$tmp/browser"; fail "the released page"; }
pass "kelvor-$version.html: the browser test passes against it"

# The source: it builds with the README's first command alone and converts
# the example; the tests' configuration names GoogleTest when it is missing.
tar -xzf "$dist/kelvor-$version-src.tar.gz" -C "$tmp"
src=$tmp/kelvor-$version
(cd "$src" && cmake -S . -B build >/dev/null && cmake --build build -j2 >/dev/null && ./build/kelvor build/example.zq >/dev/null) \
  || fail "the source does not build with the first set-up command"
same "$src/build/example.wav" "$tmp/ref/example.wav" "built from the source archive"
[ ! -e "$src/build/tests" ] || fail "the first set-up command configured the tests"
set +e
(cd "$src" && cmake -S . -B build-t -DBUILD_TESTING=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$tmp/no-gtest" 2>&1)
status=$?
set -e
[ "$status" -ne 0 ] && grep -q "install libgtest-dev" "$tmp/no-gtest" || fail "a missing GoogleTest is not named"
pass "kelvor-$version-src.tar.gz builds and converts with CMake and a compiler alone"

echo "$passed passed, 0 failed"
