#!/usr/bin/env bash
# Installs the program twice, with `cmake --install` and from the Debian
# package, each into a temporary root, and converts the bundled example from
# there.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

check_example() {  # kelvor example.zq: converts with the loop heard twice
  local kelvor=$1 example=$2 out=$root/example-$3.wav
  "$kelvor" "$example" "$out" >"$root/stdout"
  grep -q "^setting : loop 2$" "$root/stdout"
  # 44-byte header + 1.5 s of data + the 1 s loop once more, in 4-byte frames
  local size
  size=$(stat -c %s "$out")
  [ "$size" -eq $((44 + (66150 + 44100) * 4)) ] || { echo "unexpected size $size of $out"; exit 1; }
}

cmake --install "$build" --prefix "$root/local" >/dev/null
test -x "$root/local/bin/kelvor"
test -f "$root/local/share/man/man1/kelvor.1.gz"
zcat "$root/local/share/man/man1/kelvor.1.gz" | grep -q "RESULT CODES"
check_example "$root/local/bin/kelvor" "$root/local/share/kelvor/example.zq" install

(cd "$build" && cpack -G DEB -B "$root/pkg" >/dev/null)
deb=$(ls "$root"/pkg/kelvor_*.deb)
dpkg-deb -f "$deb" Package Version | tr '\n' ' '
echo
dpkg-deb -c "$deb" | grep -q "./usr/share/man/man1/kelvor.1.gz"
dpkg-deb -x "$deb" "$root/deb"
check_example "$root/deb/usr/bin/kelvor" "$root/deb/usr/share/kelvor/example.zq" deb
echo "installed and packaged kelvor convert the example"
