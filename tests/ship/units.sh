#!/bin/bash
# Checks the systemd units with systemd's own tools.
#   verify:   `systemd-analyze verify` on both units; any complaint on standard error fails,
#             not only a non-zero status.
#   exposure: `systemd-analyze security --offline=yes` on the service; fails when the
#             overall exposure level rises above MAX_EXPOSURE.
# Both want the ExecStart= binary at its real path, so they run in a private mount namespace
# where a throw-away overlay covers the tree that holds that path, and /run is a fresh tmpfs.
#
# Usage: units.sh verify|exposure BINARY UNIT_DIR MAN_DIR|none
set -euo pipefail

MAX_EXPOSURE=3.0

if [ "${1:-}" != --inside-namespace ]; then
    exec unshare --mount --propagation private -- "$0" --inside-namespace "$@"
fi
shift
mode=$1 binary=$2 unit_dir=$3 man_dir=$4

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

case "$mode" in
verify)
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
    ;;
exposure)
    # The tool's own threshold counts in tenths; the level is also read from its report,
    # so that the test says what it measured.
    status=0
    systemd-analyze security --offline=yes --threshold=30 \
        "$scratch/units/vornic.service" >"$scratch/out" 2>"$scratch/err" || status=$?
    cat "$scratch/err" >&2
    level=$(sed -n 's/.*Overall exposure level for vornic\.service: \([0-9.]*\).*/\1/p' \
        "$scratch/out")
    [ -n "$level" ] || { cat "$scratch/out"; fail "no overall exposure level in the report"; }
    echo "overall exposure level: $level (at most $MAX_EXPOSURE)"
    if awk -v l="$level" -v m="$MAX_EXPOSURE" 'BEGIN { exit !(l > m) }'; then
        grep '✗' "$scratch/out" >&2 || true
        fail "exposure $level is above $MAX_EXPOSURE"
    fi
    [ "$status" -eq 0 ] || fail "systemd-analyze security exited with $status"
    [ ! -s "$scratch/err" ] || fail "systemd-analyze security complained"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
