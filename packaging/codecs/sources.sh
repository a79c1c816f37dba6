#!/usr/bin/env bash
# Fetches the codecs' source packages named in sources.lock into DIR, checks
# each .dsc against its pinned SHA-256 and its uploader's signature (Debian's
# keyrings), and unpacks each with Debian's patches applied:
#   packaging/codecs/sources.sh DIR    -> DIR/flac, DIR/libogg, DIR/libvorbis
# Needs a deb-src entry for bookworm (added when missing, as root) and the
# debian-keyring package. A DIR already complete is left as it is.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
dir="$1"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
grep -v '^#' "$here/sources.lock" | while read -r package version sha; do
  [ -n "$package" ] || continue
  [ -f "$dir/$package/.unpacked-$version" ] && continue
  dsc="${package}_${version#*:}.dsc"
  if [ ! -f "$dir/$dsc" ]; then
    if ! apt-get source --print-uris "$package=$version" 2>/dev/null | grep -q "$dsc"; then
      if [ "$(id -u)" = 0 ] && [ ! -f /etc/apt/sources.list.d/kelvor-codec-sources.sources ]; then
        printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' 'Components: main' \
          'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' > /etc/apt/sources.list.d/kelvor-codec-sources.sources
        apt-get update -qq
      fi
    fi
    (cd "$dir" && apt-get source -qq --download-only "$package=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  fi
  echo "$sha  $dir/$dsc" | sha256sum -c --quiet -
  gpgv --quiet --keyring /usr/share/keyrings/debian-keyring.gpg --keyring /usr/share/keyrings/debian-maintainers.gpg \
    "$dir/$dsc" 2>/dev/null || { echo "$dsc: no good signature by a Debian uploader" >&2; exit 1; }
  rm -rf "$dir/$package"
  # dpkg-source checks the tarballs against the .dsc's sums as it unpacks.
  dpkg-source --require-strong-checksums -q -x "$dir/$dsc" "$dir/$package" >/dev/null 2>&1 ||
    { echo "$dsc: its files do not match it" >&2; exit 1; }
  touch "$dir/$package/.unpacked-$version"
done
