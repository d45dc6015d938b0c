#!/usr/bin/env bash
# Runs one libFuzzer target for $VLM_FUZZ_SECONDS (default 15) seconds:
#   tools/run-fuzzer.sh FUZZER SEED_CORPUS_DIR
# The seed corpus is copied so that the run never writes into the source tree.
set -eu
fuzzer=$1 seeds=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
exec "$fuzzer" -max_total_time="${VLM_FUZZ_SECONDS:-15}" -rss_limit_mb=2048 -print_final_stats=1 "$work"
