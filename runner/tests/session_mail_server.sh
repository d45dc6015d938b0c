#!/usr/bin/env bash
# Whole "Send by E-Mail" jobs under Wine against aiosmtpd on 127.0.0.1: the
# server stores each message it receives, the test program (KestrelMail)
# runs the job and compares what arrived with what was scanned.
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
out=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null; rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$out/mail"
"$VLM_PYTHON" "$VLM_SOURCE/mail/tests/smtp_server.py" "$out/mail" >"$out/port" 2>"$out/log" &
server=$!
port=
for _ in $(seq 1200); do # the first line, within two minutes
    port=$(sed -n 's/^PORT //p' "$out/port" 2>/dev/null)
    [ -n "$port" ] && break
    kill -0 "$server" 2>/dev/null || fail "server: $(cat "$out/log")"
    sleep 0.1
done
[ -n "$port" ] || fail "server gave no port: $(cat "$out/log")"

env VLM_SMTP_PORT="$port" VLM_SMTP_DIR="$out/mail" "$run" \
    "$VLM_BUILD/runner/kestrel_session_program_test.exe" --gtest_filter='KestrelMail.*' \
    </dev/null >"$out/test" 2>&1 || fail "test program: $(tr -d '\r' <"$out/test" | tail -40)"
grep -q '\[  PASSED  \] 2 tests' "$out/test" || fail "not all run: $(tr -d '\r' <"$out/test")"
grep -q 'SKIPPED' "$out/test" && fail "skipped: $(tr -d '\r' <"$out/test")"
tr -d '\r' <"$out/test" | grep -E '^\[ +OK \]'
echo "2 passed, 0 failed"
