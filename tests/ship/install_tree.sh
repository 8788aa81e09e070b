#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs the build into a DESTDIR and checks the tree: exactly the expected files with
# the expected modes, units and udev example naming the installed binary (the example's
# match values still placeholders), and the shipped
# configuration accepted by the installed binary as one that touches nothing: the binary
# prints it through the installed roles library, which it finds relative to itself. The
# preset, applied by systemctl to the tree, enables the socket and nothing else.
#
# Usage: install_tree.sh BUILD_DIR SOURCE_DIR SBINDIR UNITDIR PRESETDIR MANDIR|none DOCDIR LIBRARY
# (absolute paths on the target, as configured; none: no man pages)
set -euo pipefail
build_dir=$1 source_dir=$2 sbindir=$3 unitdir=$4 presetdir=$5 mandir=$6 docdir=$7 library=$8

destdir=$(mktemp -d)
trap 'rm -rf "$destdir"' EXIT
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

DESTDIR=$destdir cmake --install "$build_dir" >/dev/null

binary=$sbindir/vornic
config=/usr/share/vornic/vornic.json
declare -A expected_mode=(
    [$binary]=755
    [$library]=644
    [$unitdir/vornic.socket]=644
    [$unitdir/vornic.service]=644
    [$presetdir/90-vornic.preset]=644
    [$config]=644
    [$docdir/examples/90-vornic.rules]=644
    [$docdir/examples/vornic-platform.conf]=644
)
if [ "$mandir" != none ]; then
    expected_mode[$mandir/man8/vornic.8]=644
    expected_mode[$mandir/man5/vornic.json.5]=644
fi

actual=$(cd "$destdir" && find . ! -type d | sed 's|^\.||' | sort)
expected=$(printf '%s\n' "${!expected_mode[@]}" | sort)
if [ "$actual" != "$expected" ]; then
    fail "installed files differ from the expected ones (< expected, > installed):"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
fi
for path in "${!expected_mode[@]}"; do
    [ -f "$destdir$path" ] || continue
    mode=$(stat -c %a "$destdir$path")
    [ "$mode" = "${expected_mode[$path]}" ] || fail "$path has mode $mode, not ${expected_mode[$path]}"
done

# Everything that starts vornic must name the binary where it was installed.
exec_start=$(sed -n 's/^ExecStart=//p' "$destdir$unitdir/vornic.service")
[ "$exec_start" = "$binary -s" ] || fail "ExecStart=$exec_start, expected $binary -s"
runs=$(grep -o 'RUN+="[^"]*"' "$destdir$docdir/examples/90-vornic.rules" | sort | tr '\n' ' ')
[ "$runs" = "RUN+=\"$binary attach\" RUN+=\"$binary detach\" " ] ||
    fail "the udev example runs $runs, expected $binary attach and detach"
# As installed it must match nothing: each rule's match values are still the placeholders.
[ "$(grep -c 'SUBSYSTEM=="<accessory-subsystem>", KERNEL=="<accessory-device>"' \
    "$destdir$docdir/examples/90-vornic.rules")" = 2 ] ||
    fail "the udev example matches on something other than its placeholders"
[ "$(head -c 4 "$destdir$binary" | tail -c 3)" = ELF ] || fail "$binary is not an ELF executable"

# What `systemctl preset` (a first boot, an image build) makes of the tree: the socket
# enabled, the service, which has no [Install] section, left alone.
if systemctl --root="$destdir" preset vornic.socket vornic.service 2>/dev/null; then
    enabled=$(cd "$destdir/etc/systemd/system" 2>/dev/null && find . -name 'vornic*' | sort | tr '\n' ' ')
    [ "$enabled" = "./sockets.target.wants/vornic.socket " ] ||
        fail "systemctl preset enabled '$enabled', expected the socket alone"
    rm -rf "${destdir:?}/etc"
else
    fail "systemctl preset failed on the installed tree"
fi

cmp -s "$source_dir/data/vornic.json" "$destdir$config" ||
    fail "$config is not data/vornic.json"

# The installed binary reads the installed configuration at its fixed path. Every flag
# false but never_reboot and no list at all: an action does nothing and cannot reboot.
out=$(mktemp) err=$(mktemp)
trap 'rm -rf "$destdir" "$out" "$err"' EXIT
status=0
"$source_dir/tools/sandbox" --build "$build_dir" --config "$destdir$config" -- "$destdir$binary" -p \
    >"$out" 2>"$err" || status=$?
expected_printout='sync_irlight = false
trigger_mic_swap = false
never_reboot = true
set_gpio = null'
if [ "$(cat "$out")" != "$expected_printout" ] || [ "$status" -ne 1 ] ||
    [ "$(cat "$err")" != "No action specified or too many arguments." ]; then
    fail "vornic -p on the installed configuration (status $status):"
    cat "$out" "$err" >&2
fi

[ "$failed" -eq 0 ] && echo "install tree in order: $(echo "$expected" | tr '\n' ' ')"
exit "$failed"
