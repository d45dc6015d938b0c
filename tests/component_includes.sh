#!/bin/bash
# Layers point down: the outside components (components/*, their tests
# aside) include only their own headers, each other's, the shared contracts
# and codecs, and the framework's handle owners; never an application header
# (common/, runner/, scan/, mail/, imaging/, editor/, tool/, plugin/).
# Prints every include that breaks this; fails when there is one.
root=${1:?source folder}
cd "$root" || exit 2
bad=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/' components \
        --include='*.h' --include='*.cpp' --include='*.c' --include='*.inc' --include='*.rc' |
      grep -v '/tests/' |
      grep -vE '"(components|contracts|codecs)/|"framework/Handles\.h"|"(core|tool|\.\.)/' )
if [ -n "$bad" ]; then
    echo "components include application headers:"
    echo "$bad"
    exit 1
fi
echo "components: no application header included"
