#!/bin/bash
# SPDX-License-Identifier: MIT
# Checks the systemd units with `systemd-analyze verify`: any complaint on standard error
# fails, not only a non-zero status. It wants the ExecStart= binary at its real path, so it
# runs in a private mount namespace where a throw-away overlay covers the tree that holds that
# path, and /run is a fresh tmpfs. (Their exposure level is checked in the test guest, where
# the service runs.)
#
# Usage: units.sh BINARY UNIT_DIR MAN_DIR|none
set -euo pipefail

if [ "${1:-}" != --inside-namespace ]; then
    exec unshare --mount --propagation private -- "$0" --inside-namespace "$@"
fi
shift
binary=$1 unit_dir=$2 man_dir=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

exec_path=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit_dir/vornic.service")
[ -n "$exec_path" ] || fail "vornic.service has no ExecStart="

mount -t tmpfs -o mode=0755 ship /run
scratch=/run/ship
mkdir -p "$scratch/upper" "$scratch/work" "$scratch/units"
top=/$(cut -d/ -f2 <<<"$exec_path")
[ -d "$top" ] || fail "cannot overlay $top for $exec_path: no such directory"
mount -t overlay overlay -o "lowerdir=$top,upperdir=$scratch/upper,workdir=$scratch/work" "$top"
install -D -m 0755 "$binary" "$exec_path"
cp "$unit_dir/vornic.socket" "$unit_dir/vornic.service" "$scratch/units/"

# The Documentation= pages are looked up with man(1): point it at the built ones.
man_check=(--man=yes)
if [ "$man_dir" = none ]; then
    man_check=(--man=no)
else
    export MANPATH=$man_dir
fi
status=0
systemd-analyze verify "${man_check[@]}" \
    "$scratch/units/vornic.socket" "$scratch/units/vornic.service" 2>"$scratch/err" ||
    status=$?
cat "$scratch/err" >&2
[ "$status" -eq 0 ] || fail "systemd-analyze verify exited with $status"
[ ! -s "$scratch/err" ] || fail "systemd-analyze verify complained"
echo "verified: vornic.socket vornic.service (ExecStart=$exec_path)"
