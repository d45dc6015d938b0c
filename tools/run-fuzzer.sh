#!/usr/bin/env bash
# Runs one libFuzzer target for $VLM_FUZZ_SECONDS (default 15) seconds:
#   tools/run-fuzzer.sh FUZZER SEED_CORPUS_DIR
# The seed corpus is copied so that the run never writes into the source tree.
# The test suite fuzzes from a fixed seed ($VLM_FUZZ_SEED, default 1) so that a
# run's inputs are the same every time; VLM_FUZZ_SEED=0 picks a random seed for
# longer hunting runs. Inputs that found a fault belong in the seed corpus.
set -eu
fuzzer=$1 seeds=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
exec "$fuzzer" -seed="${VLM_FUZZ_SEED:-1}" -max_total_time="${VLM_FUZZ_SECONDS:-15}" \
    -rss_limit_mb=2048 -print_final_stats=1 "$work"
