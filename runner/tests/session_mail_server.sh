#!/usr/bin/env bash
# Whole "Send by E-Mail" jobs under Wine against loopback mail servers started
# here; the test program (KestrelMail) runs the jobs and compares what arrived
# with what was scanned:
#   - aiosmtpd without log-in on 127.0.0.1, refusing one recipient and
#     holding another until the test releases it;
#   - aiosmtpd requiring AUTH (user scanner, password secret), also for a
#     job that requires TLS, which this server does not offer;
#   - three hostile servers (hostile_smtp_server.py): one stops reading
#     during the message, one trickles its replies, one closes the
#     connection in the middle of the message;
#   - the German job runs in a program of its own under a German user
#     locale (a glibc locale made here for Wine to read);
#   - POP before SMTP: Dovecot on port 110 and aiosmtpd on port 25 of a
#     loopback address of this run's own (the runner takes one host for both
#     and their standard ports); Dovecot needs root.
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
out=$(mktemp -d)
. "$VLM_SOURCE/mail/tests/servers.sh"
trap 'stop_servers; rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

passed=0
jobs() { # name, count of tests, gtest filter, then environment settings
    local name=$1 count=$2 filter=$3
    shift 3
    env "$@" "$run" "$VLM_BUILD/runner/kestrel_session_program_test.exe" \
        --gtest_filter="$filter" </dev/null >"$out/$name.test" 2>&1 ||
        fail "$name: $(tr -d '\r' <"$out/$name.test" | tail -60)"
    grep -q "\[  PASSED  \] $count tests\?\." "$out/$name.test" ||
        fail "$name: not all run: $(tr -d '\r' <"$out/$name.test")"
    grep -q 'SKIPPED' "$out/$name.test" && fail "$name: skipped: $(tr -d '\r' <"$out/$name.test")"
    tr -d '\r' <"$out/$name.test" | grep -E '^\[ +OK \]'
    passed=$((passed + count))
}

start_server smtp_server.py "$out/plain" --refuse nobody@example.com --hold held@example.com ||
    fail "server: $(cat "$out/plain.log")"
plain=(VLM_SMTP_PORT="$port" VLM_SMTP_DIR="$out/plain")
start_server smtp_server.py "$out/auth" --user scanner --password secret ||
    fail "server: $(cat "$out/auth.log")"
auth=(VLM_SMTP_AUTH_PORT="$port" VLM_SMTP_AUTH_DIR="$out/auth")

start_server hostile_smtp_server.py "$out/stall" --mode stall || fail "server: $(cat "$out/stall.log")"
hostile=(VLM_STALL_PORT="$port")
start_server hostile_smtp_server.py "$out/trickle" --mode trickle || fail "server: $(cat "$out/trickle.log")"
hostile+=(VLM_TRICKLE_PORT="$port")
start_server hostile_smtp_server.py "$out/drop" --mode drop || fail "server: $(cat "$out/drop.log")"
hostile+=(VLM_DROP_PORT="$port")

jobs english 13 'KestrelMail.*:-KestrelMail.German*:KestrelMail.Pop*' "${plain[@]}" "${auth[@]}" \
    "${hostile[@]}"
grep -q STALLED "$out/stall.port" || fail "the stalling server never stopped reading"
grep -q DROPPED "$out/drop.port" || fail "the dropping server never closed a message"

mkdir -p "$out/locale"
localedef -i de_DE -f UTF-8 "$out/locale/de_DE.UTF-8" 2>"$out/localedef.log" ||
    [ -f "$out/locale/de_DE.UTF-8/LC_CTYPE" ] || fail "localedef: $(cat "$out/localedef.log")"
jobs german 1 'KestrelMail.German*' "${plain[@]}" "${auth[@]}" LOCPATH="$out/locale" \
    LC_ALL=de_DE.UTF-8

# Whether ports 110 and 25 of the address are free (a server listening on
# every address, such as a mail server of this machine, holds them).
ports_free() {
    "$VLM_PYTHON" - "$1" 2>/dev/null <<'PY'
import socket, sys
for port in (110, 25):
    with socket.socket() as s:
        s.bind((sys.argv[1], port))
PY
}

if [ "$(id -u)" = 0 ] && command -v dovecot >/dev/null; then
    chmod 755 "$out" # Dovecot's mail processes (nobody) reach their home below it
    started= tried=
    for _ in 1 2 3 4 5; do # another run may hold the address picked
        host=127.$((RANDOM % 250 + 2)).$((RANDOM % 256)).$((RANDOM % 250 + 2))
        ports_free "$host" || continue
        tried=1
        rm -rf "$out/pop" "$out/popsmtp"
        start_server pop3_server.py "$out/pop" scanner secret --host "$host" --port 110 || continue
        pop=$last
        start_server smtp_server.py "$out/popsmtp" --host "$host" --port 25 && { started=1; break; }
        kill "$pop" 2>/dev/null && wait "$pop" 2>/dev/null
    done
    if [ -n "$started" ]; then
        jobs pop 2 'KestrelMail.Pop*' "${plain[@]}" VLM_POP_HOST="$host" \
            VLM_POP_SMTP_DIR="$out/popsmtp" VLM_POP_LOG="$out/pop/dovecot.log"
    elif [ -n "$tried" ]; then
        fail "POP and SMTP servers on 110 and 25: $(cat "$out/pop.log" "$out/popsmtp.log")"
    else
        echo "ports 110 and 25 are taken on every loopback address here: POP before SMTP not checked"
    fi
else
    echo "Dovecot needs root: POP before SMTP not checked"
fi
echo "$passed passed, 0 failed"
