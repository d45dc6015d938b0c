#!/usr/bin/env bash
# CMailSender (C_smtp) under Wine sends a job's mail to aiosmtpd on 127.0.0.1 with CRAM-MD5; the server
# (Python's email package) reads the message back: subject, body and the two
# attachments byte for byte.
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
out=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$out"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; ls -l "$out"; exit 1; }

"$VLM_PYTHON" "$VLM_SOURCE/mail/tests/smtp_server.py" "$out" --user scanner --password secret \
    >"$out/port.txt" 2>"$out/server.log" &
server=$!
for _ in $(seq 1200); do # the first line, within two minutes
    grep -q '^PORT ' "$out/port.txt" 2>/dev/null && break
    kill -0 "$server" 2>/dev/null || fail "server did not start: $(cat "$out/server.log")"
    sleep 0.1
done
port=$(sed -n 's/^PORT //p' "$out/port.txt")
[ -n "$port" ] || fail "no port"

VLM_SMTP_PORT=$port "$run" "$VLM_BUILD/mail/mail_controls_test.exe" \
    --gtest_filter='CMailSender.DeliversToTheRealServer' </dev/null >"$out/test.log" 2>&1 ||
    fail "test program: $(tr -d '\r' <"$out/test.log" | tail -20)"
grep -q '\[  PASSED  \] 1 test' "$out/test.log" || fail "not run: $(cat "$out/test.log")"
[ -f "$out/1.done" ] || fail "no message stored"
[ "$(cat "$out/1.subject")" = "Grüße vom Scanner" ] || fail "subject: $(cat "$out/1.subject")"
[ "$(cat "$out/1.body")" = $'Die Seiten im Anhang.\r' ] || fail "body: $(od -c "$out/1.body" | head)"
[ "$(head -c 100000 /dev/zero | tr '\0' '%' | cmp - "$out/1.att1" && echo same)" = same ] ||
    fail "attachment 1 differs"
[ "$(printf '\1\1\1' | cmp - "$out/1.att2" && echo same)" = same ] || fail "attachment 2 differs"
[ "$(cat "$out/1.names")" = $'vlm_real_1.pdf\nvlm_real_2.pdf' ] || fail "names: $(cat "$out/1.names")"
echo "1 passed, 0 failed"
