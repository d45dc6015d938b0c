#!/usr/bin/env bash
# The soak (kestrel_soak_test.exe: back-to-back jobs with random faults) with
# the faults the Linux side must make possible:
#   - a small disk (tmpfs, mounted here: root only) mapped to a drive letter
#     of the prefix, which the program fills before a save job to it;
#   - a mail server that closes the connection in the middle of the message
#     (mail/tests/hostile_smtp_server.py --mode drop).
# Without one of them the soak leaves that fault out and says why in its
# summary. VLM_SOAK_SECONDS and VLM_SOAK_SEED pass through.
set -u
. "$VLM_SOURCE/tools/wine-jobs.sh"
. "$VLM_SOURCE/mail/tests/servers.sh"
vlm_wine_env
top=$(mktemp -d "$VLM_BUILD/soak.XXXXXX")
cleanup() {
    stop_servers
    small_disk_unmount
    rm -rf "$top"
}
trap cleanup EXIT

small_disk_mount "$top/small" || export VLM_SOAK_NO_DISK="$small_disk_why"
if [ -z "${VLM_PYTHON:-}" ]; then
    export VLM_SOAK_NO_MAIL="no Python for the mail server"
elif start_server hostile_smtp_server.py "$top/drop" --mode drop; then
    export VLM_DROP_PORT=$port
else
    VLM_SOAK_NO_MAIL="the mail server did not start: $(cat "$top/drop.log")"
    export VLM_SOAK_NO_MAIL
fi
"$run" "$VLM_BUILD/runner/kestrel_soak_test.exe" </dev/null 2>&1 | tr -d '\r'
rc=${PIPESTATUS[0]}
exit "$rc"
