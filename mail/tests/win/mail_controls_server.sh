#!/usr/bin/env bash
# CMailSender (C_smtp) under Wine sends a German job with two attachments to
# aiosmtpd on 127.0.0.1; the server reads it back with Python's email
# package. First in plain text with CRAM-MD5 (and, with TLS required, not at
# all), then through Schannel with a self-signed certificate made here:
# STARTTLS (the server requires it) delivers when self-signed certificates
# are allowed and is refused otherwise, and also when allowed but reached by
# a name the certificate does not carry (127.0.0.1); on port 465 (when it
# is free) TLS from the first byte. Last, C_pop logs in to Dovecot (when this
# runs as root, as Dovecot needs): in plain text (refused when TLS is
# required) and through STLS, with the same certificate checks.
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
out=$(mktemp -d)
. "$VLM_SOURCE/mail/tests/servers.sh"
trap 'stop_servers; rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The servers are reached as "localhost", the name the certificate carries.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$out/key.pem" -out "$out/cert.pem" -days 2 \
    -subj /CN=localhost -addext subjectAltName=DNS:localhost >/dev/null 2>&1 || fail "openssl"

send() { # dir, then environment settings for the test program
    local dir=$1
    shift
    env VLM_SMTP_PORT="$port" VLM_MAIL_HOST=localhost "$@" "$run" \
        "$VLM_BUILD/mail/mail_controls_test.exe" \
        --gtest_filter="${filter:-CMailSender.DeliversToTheRealServer}" </dev/null >"$dir.test" 2>&1 ||
        fail "test program: $(tr -d '\r' <"$dir.test" | grep -v '^\[' | tail -20)"
    grep -q '\[  PASSED  \] 1 test' "$dir.test" || fail "not run: $(cat "$dir.test")"
}

check_message() { # dir
    [ -f "$1/1.done" ] || fail "no message in $1"
    [ "$(cat "$1/1.subject")" = "Grüße vom Scanner" ] || fail "subject: $(cat "$1/1.subject")"
    [ "$(head -c 100000 /dev/zero | tr '\0' '%' | cmp - "$1/1.att1" && echo same)" = same ] ||
        fail "attachment differs"
}

passed=0
user=(--user scanner --password secret)
start_server smtp_server.py "$out/plain" "${user[@]}" || fail "server: $(cat "$out/plain.log")"
send "$out/plain" VLM_REQUIRE_TLS=1 VLM_EXPECT_FAILURE="NO TLS"
[ -z "$(ls "$out/plain")" ] || fail "a message went out without the TLS required"
send "$out/plain"
check_message "$out/plain"
[ "$(cat "$out/plain/1.body")" = $'Die Seiten im Anhang.\r' ] || fail "body: $(od -c "$out/plain/1.body")"
[ "$(printf '\1\1\1' | cmp - "$out/plain/1.att2" && echo same)" = same ] || fail "attachment 2 differs"
[ "$(cat "$out/plain/1.names")" = $'vlm_real_1.pdf\nvlm_real_2.pdf' ] ||
    fail "names: $(cat "$out/plain/1.names")"
stop_servers
passed=$((passed + 2))

tls=(--cert "$out/cert.pem" --key "$out/key.pem")
start_server smtp_server.py "$out/starttls" "${user[@]}" "${tls[@]}" --tls starttls || fail "server: $(cat "$out/starttls.log")"
untrusted=(VLM_EXPECT_FAILURE="certificate is not trusted")
send "$out/starttls" "${untrusted[@]}"
send "$out/starttls" "${untrusted[@]}" VLM_SMTP_SELF_SIGNED=1 VLM_MAIL_HOST=127.0.0.1
[ -z "$(ls "$out/starttls")" ] || fail "a message got through an untrusted certificate"
send "$out/starttls" VLM_SMTP_SELF_SIGNED=1 VLM_REQUIRE_TLS=1
check_message "$out/starttls"
stop_servers
passed=$((passed + 3))

if start_server smtp_server.py "$out/implicit" "${user[@]}" "${tls[@]}" --tls implicit --port 465; then
    send "$out/implicit" VLM_SMTP_SELF_SIGNED=1
    check_message "$out/implicit"
    stop_servers
    passed=$((passed + 1))
else
    echo "port 465 is taken here: implicit TLS not checked"
fi
if [ "$(id -u)" = 0 ] && command -v dovecot >/dev/null; then
    chmod 755 "$out" # Dovecot's mail processes (nobody) reach their home below it
    pop() { filter=C_pop.LogsInToTheRealServer send "$@"; }
    start_server pop3_server.py "$out/pop" scanner secret || fail "dovecot: $(cat "$out/pop.log")"
    pop "$out/pop" VLM_POP_PORT="$port"
    pop "$out/pop" VLM_POP_PORT="$port" VLM_REQUIRE_TLS=1 VLM_EXPECT_FAILURE="NO TLS"
    stop_servers
    start_server pop3_server.py "$out/pops" scanner secret "${tls[@]}" ||
        fail "dovecot: $(cat "$out/pops.log")"
    pop "$out/pops" VLM_POP_PORT="$port" "${untrusted[@]}"
    pop "$out/pops" VLM_POP_PORT="$port" "${untrusted[@]}" VLM_SMTP_SELF_SIGNED=1 VLM_MAIL_HOST=127.0.0.1
    pop "$out/pops" VLM_POP_PORT="$port" VLM_SMTP_SELF_SIGNED=1 VLM_REQUIRE_TLS=1
    # Dovecot's log process may write a moment after the log-in.
    for _ in $(seq 600); do
        grep -q 'Login: user=<scanner>.*TLS' "$out/pops/dovecot.log" && break
        sleep 0.1
    done
    grep -q 'Login: user=<scanner>.*TLS' "$out/pops/dovecot.log" ||
        fail "no log-in through TLS: $(cat "$out/pops/dovecot.log")"
    stop_servers
    passed=$((passed + 5))
else
    echo "Dovecot needs root: POP3 log-in not checked"
fi
echo "$passed passed, 0 failed"
