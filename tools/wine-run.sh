#!/usr/bin/env bash
# Runs one Windows program in the build's private Wine prefix:
#   tools/wine-run.sh program.exe [args...]
# Used by ctest as the cross-compiling emulator and by the test scripts.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-common.sh"
vlm_wine_env || exit 2
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-run: prefix $WINEPREFIX not set up: run tools/wine-env.sh setup" >&2
    exit 2
fi
exec "$WINE64" "$@"
