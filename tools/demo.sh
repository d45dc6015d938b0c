#!/usr/bin/env bash
# make demo: what the built pieces can do so far, on the simulated VX-410.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
export VLM_BUILD=$root/build/windows
bash "$root/tools/wine-env.sh" setup
trap 'bash "$root/tools/wine-env.sh" stop' EXIT
echo "demo: nothing end to end is built yet; the build and the Wine prefix work."
