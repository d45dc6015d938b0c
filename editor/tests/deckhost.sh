# Sourced by the editor's script tests with a program name: the Wine harness
# and a copy of dialoghost.exe under that name in the prefix's "Task Deck"
# folder, beside the catalogue, so that its texts are localised; a work
# folder. Both go when the script ends (deckhost_cleanup, the EXIT trap).
# Sets run, deck, exe, host (the copy's Windows path) and work.
run="$VLM_SOURCE/tools/wine-run.sh"
. "$VLM_SOURCE/tools/wine-common.sh"
vlm_wine_env || exit 1
deck="$WINEPREFIX/drive_c/Program Files/Velmora Works/Task Deck"
exe=$1
cp -f "$VLM_BUILD/editor/dialoghost.exe" "$deck/$exe" || exit 1
host="C:\\Program Files\\Velmora Works\\Task Deck\\$exe"
work=$(mktemp -d)
deckhost_cleanup() { rm -f "$deck/$exe"; rm -rf "$work"; }
trap deckhost_cleanup EXIT
