#!/bin/bash
# SPDX-License-Identifier: MIT
# Checks how the executable and its roles library are linked. The executable needs libc and
# the dynamic loader alone, so that the client, which udev runs on every accessory event,
# loads nothing else; the library exports the entry points its version script names, and
# none of the code linked into it.
#
# Usage: linkage.sh READELF VERSION_SCRIPT LIBRARY EXECUTABLE...
# (the executable as linked for the build tree and for the install)
set -euo pipefail
readelf=$1 version_script=$2 library=$3
shift 3
failed=0

for executable; do
    needed=$("$readelf" -dW "$executable" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
    echo "$executable needs: $(echo $needed)"
    others=$(grep -vx -e 'libc\.so\.6' -e 'ld-linux-[a-z0-9-]*\.so\.[0-9]' <<<"$needed" || true)
    if ! grep -qx 'libc\.so\.6' <<<"$needed" || [ -n "$others" ]; then
        echo "FAIL: $executable must need libc alone, not: $(echo $others)" >&2
        failed=1
    fi
done

# Defined symbols of the dynamic symbol table: Num Value Size Type Bind Vis Ndx Name.
exports=$("$readelf" --dyn-syms -W "$library" |
    awk '$5 != "LOCAL" && $7 != "UND" && $7 != "Ndx" && NF >= 8 { sub(/@.*/, "", $8); print $8 }' |
    sort)
entry_points=$(sed -n '/global:/,/local:/s/^ *\([a-z_]*\);$/\1/p' "$version_script" | sort)
echo "$library exports: $(echo $exports)"
if [ -z "$entry_points" ] || [ "$exports" != "$entry_points" ]; then
    echo "FAIL: the library must export exactly: $(echo $entry_points)" >&2
    failed=1
fi
exit "$failed"
