#!/usr/bin/env bash
# uirobot.exe drives a message box shown by mboxprobe.exe in another process.
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
bin="$VLM_BUILD/tests/tools"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; cat "$out"/* 2>/dev/null; exit 1; }

# Found and pressed: the probe reports the button the robot chose.
"$run" "$bin/mboxprobe.exe" "Job is not registered." "VX-410" 0x31 top </dev/null >"$out/probe1" 2>/dev/null &
probe=$!
robot=$("$run" "$bin/uirobot.exe" --exe mboxprobe.exe --press Cancel --timeout 30000 2>/dev/null | tr -d '\r')
rc=$?
wait $probe
[ $rc -eq 0 ] || fail "robot exit $rc"
[ "$robot" = "caption=VX-410|text=Job is not registered.|buttons=OK,Cancel" ] || fail "robot printed: $robot"
grep -q "result=2 IDCANCEL" "$out/probe1" || fail "probe did not get Cancel"

# A missing button: exit 3, the box stays until pressed properly.
"$run" "$bin/mboxprobe.exe" "Second" "Probe" 0 </dev/null >"$out/probe2" 2>/dev/null &
probe=$!
"$run" "$bin/uirobot.exe" --exe mboxprobe.exe --press Yes --timeout 30000 >/dev/null 2>&1
rc=$?
[ $rc -eq 3 ] || fail "missing button gave $rc"
"$run" "$bin/uirobot.exe" --exe mboxprobe.exe --caption Probe --press OK --timeout 30000 >/dev/null 2>&1 || fail "second press"
wait $probe
grep -q "result=1 IDOK" "$out/probe2" || fail "probe did not get OK"

# Nothing to find: exit 1 after the timeout.
"$run" "$bin/uirobot.exe" --exe mboxprobe.exe --timeout 500 >/dev/null 2>&1
rc=$?
[ $rc -eq 1 ] || fail "timeout gave $rc"
"$run" "$bin/uirobot.exe" --bogus >/dev/null 2>&1
[ $? -eq 2 ] || fail "usage error"
echo "uirobot: all cases passed"
