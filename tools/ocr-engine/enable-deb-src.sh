#!/bin/bash
# Enables Debian's source lists for bookworm main (deb-src beside the
# system's own deb entry, same mirror and key), so that the build can fetch
# the OCR engine's source packages with `apt-get source`. Idempotent: the
# entry is written once and the package lists are refreshed only when the
# source lists are not known yet.
set -euo pipefail
system=/etc/apt/sources.list.d/debian.sources
ours=/etc/apt/sources.list.d/vlm-debian-src.sources

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

# The first deb822 stanza that carries the bookworm suite: its URIs and key.
read_stanza() {
  awk -v want="$1" '
    BEGIN { RS = ""; FS = "\n" }
    {
      uris = ""; suites = ""; key = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
        if ($i ~ /^Suites:/) { suites = " " $i " " }
        if ($i ~ /^Signed-By:/) { key = $i; sub(/^Signed-By:[ \t]*/, "", key) }
      }
      if (suites ~ / bookworm / && uris != "") {
        print (want == "uris" ? uris : key); exit
      }
    }' "$system"
}

if [ -f "$system" ]; then
  uris=$(read_stanza uris)
  key=$(read_stanza key)
else
  uris=http://deb.debian.org/debian
  key=/usr/share/keyrings/debian-archive-keyring.gpg
fi
[ -n "$uris" ] || { echo "enable-deb-src: no bookworm entry in $system" >&2; exit 1; }

want="Types: deb-src
URIs: $uris
Suites: bookworm
Components: main${key:+
Signed-By: $key}"

changed=0
if [ ! -f "$ours" ] || [ "$(cat "$ours")" != "$want" ]; then
  printf '%s\n' "$want" | $SUDO tee "$ours" >/dev/null
  changed=1
fi
# Refresh when the entry is new or the source index was never fetched.
if [ $changed -eq 1 ] || ! apt-cache showsrc --only-source leptonlib 2>/dev/null | grep -q '^Package: leptonlib'; then
  $SUDO apt-get update -qq
fi
apt-cache showsrc --only-source tesseract 2>/dev/null | grep -q '^Package: tesseract' || {
  echo "enable-deb-src: Debian's source index lacks tesseract" >&2; exit 1; }
