#!/usr/bin/env bash
# The engine is linked in, not shipped beside: each module named imports
# only Windows' own DLLs (no libtesseract, liblept, libgomp, libstdc++,
# libwinpthread or other MinGW run-time DLL).
#   imports_test.sh MODULE...
set -u
system='^(kernel32|msvcrt|ucrtbase|user32|gdi32|advapi32|ws2_32|shell32|ole32|oleaut32|bcrypt|normaliz|crypt32|shlwapi|version)\.dll$'
fails=0
for m in "$@"; do
    dlls=$(x86_64-w64-mingw32-objdump -p "$m" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$dlls" ] || { echo "FAILED: no import table read from $m"; fails=$((fails + 1)); continue; }
    other=$(tr 'A-Z' 'a-z' <<<"$dlls" | grep -Ev "$system")
    if [ -n "$other" ]; then
        echo "FAILED: $(basename "$m") imports $(xargs <<<"$other")"
        fails=$((fails + 1))
    else
        echo "ok: $(basename "$m") imports $(xargs <<<"$dlls")"
    fi
done
[ "$fails" -eq 0 ]
