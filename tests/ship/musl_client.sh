#!/bin/bash
# SPDX-License-Identifier: MIT
# Builds the executable (the command line and the client, which link the C library alone)
# against musl instead of glibc, and runs it: it must compile against musl's headers, link
# against musl's libc and nothing else, and behave as the glibc build does. A glibc-only
# function, flag or header anywhere in those files fails here.
#
# Debian has no C++ library built for musl. The client uses none of its run time, only
# header templates (std::array, std::optional, std::min), so g++ compiles it through
# musl-gcc's specs (musl's headers alone, REALGCC=g++) with the C++ headers added back. Their
# configuration is glibc's and asks glibc's version with __GLIBC_PREREQ, which musl does not
# define: here it answers no. The objects are linked by musl-gcc, as C, like the real build.
#
# Usage: musl_client.sh SOURCE_DIR GLIBC_EXECUTABLE ACCEPT_ONCE
set -euo pipefail

if [ "${1:-}" != --inside-namespace ]; then
    exec unshare --mount --propagation private -- "$0" --inside-namespace "$@"
fi
shift
source_dir=$1 glibc_vornic=$2 accept_once=$3

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
command -v musl-gcc >/dev/null || { echo "FAIL: musl-gcc is missing (musl-tools)" >&2; exit 1; }

# The client's run-time paths are fixed: /run is a fresh tmpfs here.
mount -t tmpfs -o mode=0755 musl /run
work=/run/musl
mkdir "$work"

cxx_headers=()
while read -r dir; do cxx_headers+=(-isystem "$dir"); done < <(
    g++ -x c++ -E -Wp,-v /dev/null 2>&1 >/dev/null | sed -n 's|^ \(/.*/c++/.*\)$|\1|p')
[ ${#cxx_headers[@]} -gt 0 ] || { echo "FAIL: g++ names no C++ header directory" >&2; exit 1; }

objects=()
for source in src/channel/client.cpp src/cli/command_line.cpp src/cli/main.cpp \
    src/cli/load_roles.cpp; do
    object=$work/$(basename "$source" .cpp).o
    if ! REALGCC=g++ musl-gcc -std=c++20 -fno-exceptions -fno-rtti -Wall -Wextra \
        "${cxx_headers[@]}" '-D__GLIBC_PREREQ(major, minor)=0' -I"$source_dir/src" \
        -DROLES_LIBRARY_FROM_EXECUTABLE='"libvornic-roles.so"' \
        -c "$source_dir/$source" -o "$object"; then
        fail "$source does not compile against musl"
    fi
    objects+=("$object")
done
[ "$failed" -eq 0 ] || exit 1
musl_vornic=$work/vornic
musl-gcc "${objects[@]}" -o "$musl_vornic" || { echo "FAIL: no link against musl" >&2; exit 1; }

interpreter=$(readelf -lW "$musl_vornic" | sed -n 's/.*Requesting program interpreter: \(.*\)\]$/\1/p')
needed=$(readelf -dW "$musl_vornic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | tr '\n' ' ')
echo "musl build: interpreter $interpreter, needs $needed"
[[ "$interpreter" == */ld-musl-* ]] || fail "the musl build is loaded by $interpreter"
[ "$needed" = "libc.so " ] || fail "the musl build needs $needed, not musl's libc.so alone"

# run EXECUTABLE ARG...: its status, standard output and standard error, one after the other,
# the executable's path shown as VORNIC. getopt's own complaint ("VORNIC: ...") is the C
# library's text, which differs; everything vornic writes must not.
run() {
    local status=0
    "$@" >"$work/out" 2>"$work/err" || status=$?
    printf 'status %s\nout:\n%s\nerr:\n%s\n' "$status" "$(cat "$work/out")" \
        "$(sed "s|$1|VORNIC|g" "$work/err" | grep -v '^VORNIC: ')"
}
# The command line and a client that finds no socket: as glibc's build.
for args in "" "-x" "bogus" "attach detach" "-h" "attach"; do
    musl=$(run "$musl_vornic" $args) glibc=$(run "$glibc_vornic" $args)
    if [ "$musl" != "$glibc" ]; then
        fail "vornic $args differs between musl and glibc (< musl, > glibc):"
        diff <(echo "$musl") <(echo "$glibc") >&2 || true
    fi
done

# Each word reaches a listener as its 4-byte code.
mkfifo "$work/listener"
for case in attach:00000000 detach:01000000 reattach:02000000; do
    word=${case%%:*} code=${case#*:}
    "$accept_once" /run/vornic.socket >"$work/listener" &
    exec {heard}<"$work/listener"
    read -r ready <&"$heard" || true
    [ "$ready" = listening ] || fail "the listener did not start"
    status=0
    "$musl_vornic" "$word" || status=$?
    read -r received <&"$heard" || true
    exec {heard}<&-
    wait $! || true
    [ "$status" = 0 ] && [ "$received" = "$code" ] ||
        fail "musl vornic $word: status $status, the listener read '$received', expected $code"
done

[ "$failed" -eq 0 ] && echo "the client builds against musl, needs its libc alone and acts as with glibc"
exit "$failed"
