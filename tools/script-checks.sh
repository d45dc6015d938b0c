# Shared by the Wine script tests that count their own checks:
#   check DESCRIPTION COMMAND...  runs COMMAND, prints ok/FAILED, counts failures
#   winpath PATH                  the Windows form of a Linux path in the prefix
fails=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; fails=$((fails + 1)); fi
}
winpath() { bash "$VLM_SOURCE/tools/wine-env.sh" winpath "$1"; }
