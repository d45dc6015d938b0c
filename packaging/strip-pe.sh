#!/usr/bin/env bash
# strip-pe.sh SRC DST: a program or library without its debug information, as
# the package carries it; the same bytes for the same SRC (the PE time stamp
# is SRC's time, not the clock's).
set -eu
SOURCE_DATE_EPOCH=$(stat -c %Y "$1") x86_64-w64-mingw32-strip --strip-debug -o "$2" "$1"
