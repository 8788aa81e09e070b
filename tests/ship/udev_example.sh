#!/bin/bash
# Runs the example udev rule through `udevadm test` on a device every machine has (cpu0):
# as shipped, its placeholder match values match nothing; once filled in for that device,
# an add event runs `vornic attach` and a remove event `vornic detach`, and nothing else
# of ours. udevadm only simulates the events; it runs in a private mount namespace with
# its own rules directory and /run, and /dev and /sys read-only.
#
# Usage: udev_example.sh RULE_FILE BINARY_PATH
set -euo pipefail

if [ "${1:-}" != --inside-namespace ]; then
    exec unshare --mount --propagation private -- "$0" --inside-namespace "$@"
fi
shift
rule=$1 binary=$2

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

device=/sys/devices/system/cpu/cpu0
rules_dir=/etc/udev/rules.d
exec {rule_fd}<"$rule"
mount -t tmpfs -o mode=0755 udev-example /run
mkdir -p "$rules_dir"
mount -t tmpfs -o mode=0755 udev-example "$rules_dir"
for tree in /dev /sys; do
    mount --bind "$tree" "$tree"
    mount -o remount,bind,ro "$tree"
done
cat <&"$rule_fd" >/run/90-vornic.rules

# Prints the RUN lines that our rule file adds for one simulated event, and fails on any
# complaint about the file.
runs_for() {
    local output
    output=$(udevadm test --action="$1" "$device" 2>&1) || { echo "$output" >&2; return 1; }
    if grep -q "90-vornic.rules:[0-9]* [A-Z].*\(nvalid\|rror\|ignor\)" <<<"$output"; then
        grep "90-vornic.rules" <<<"$output" >&2
        return 1
    fi
    grep -o "90-vornic.rules:[0-9]* RUN '[^']*'" <<<"$output" | sed "s/.* RUN //" || true
}

cp /run/90-vornic.rules "$rules_dir/"
for action in add remove; do
    runs=$(runs_for "$action") || fail "udevadm complained about the shipped rule"
    [ -z "$runs" ] || fail "the shipped rule, placeholders and all, matched cpu0 on $action: $runs"
done

sed 's/<accessory-subsystem>/cpu/; s/<accessory-device>/cpu0/' /run/90-vornic.rules \
    >"$rules_dir/90-vornic.rules"
for action in add:attach remove:detach; do
    runs=$(runs_for "${action%:*}") || fail "udevadm complained about the filled-in rule"
    [ "$runs" = "'$binary ${action#*:}'" ] ||
        fail "a ${action%:*} event ran [$runs], expected '$binary ${action#*:}'"
done

[ "$failed" -eq 0 ] && echo "udev example: add runs '$binary attach', remove runs '$binary detach'"
exit "$failed"
