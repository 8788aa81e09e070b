#!/bin/bash
# SPDX-License-Identifier: MIT
# Configures, builds and installs vornic as a Yocto or Buildroot recipe does: a toolchain file
# of the recipe's own, a staging sysroot that the compiler and pkg-config are pointed at
# (PKG_CONFIG_SYSROOT_DIR), the camera's processor and a merged /usr. Then checks the install
# tree: exactly the expected files, nothing that names the sysroot, the units and the preset
# where the target's systemd.pc puts them, segments aligned for 16 KiB pages, and the
# installed executable loading the installed library.
#
# The sysroot is the build machine's own headers and libraries, reached through symbolic
# links, and the compiler is the build machine's, so that the result can be run; the
# toolchain file names the camera's processor, as the recipe's would. The sysroot's systemd.pc
# is merged-/usr, as Yocto's and Buildroot's are, unlike the build machine's.
#
# Usage: recipe_build.sh SOURCE_DIR SIMULATOR_BUILD_DIR
set -euo pipefail
source_dir=$1 simulators=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

sysroot=$work/recipe-sysroot
mkdir -p "$sysroot/usr/share/pkgconfig"
ln -s /usr/include "$sysroot/usr/include"
ln -s /usr/lib "$sysroot/usr/lib"
ln -s /usr/lib "$sysroot/lib"
ln -s /lib64 "$sysroot/lib64"
cat >"$sysroot/usr/share/pkgconfig/systemd.pc" <<'PC'
prefix=/usr
root_prefix=/usr
systemd_system_unit_dir=${root_prefix}/lib/systemd/system
systemdsystemunitdir=${systemd_system_unit_dir}
systemd_system_preset_dir=${root_prefix}/lib/systemd/system-preset
systemdsystempresetdir=${systemd_system_preset_dir}

Name: systemd
Description: systemd System and Service Manager
Version: 252
PC
multiarch=$(gcc -dumpmachine)
export PKG_CONFIG_SYSROOT_DIR=$sysroot
export PKG_CONFIG_LIBDIR=$sysroot/usr/lib/$multiarch/pkgconfig:$sysroot/usr/share/pkgconfig
unset PKG_CONFIG_PATH

cat >"$work/recipe-toolchain.cmake" <<CMAKE
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_SYSROOT $sysroot)
set(CMAKE_FIND_ROOT_PATH $sysroot)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
CMAKE

build=$work/build image=$work/image
if ! cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$work/recipe-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_TESTING=OFF >"$work/log" 2>&1 ||
    ! cmake --build "$build" -j2 >>"$work/log" 2>&1 ||
    ! DESTDIR=$image cmake --install "$build" >>"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "FAIL: the recipe-style build did not configure, build or install" >&2
    exit 1
fi

expected='/usr/lib/systemd/system-preset/90-vornic.preset
/usr/lib/systemd/system/vornic.service
/usr/lib/systemd/system/vornic.socket
/usr/lib/vornic/libvornic-roles.so
/usr/sbin/vornic
/usr/share/doc/vornic/examples/90-vornic.rules
/usr/share/doc/vornic/examples/vornic-platform.conf
/usr/share/man/man5/vornic.json.5
/usr/share/man/man8/vornic.8
/usr/share/vornic/vornic.json'
actual=$(cd "$image" && find . ! -type d | sed 's|^\.||' | sort)
echo "recipe-style install tree:"
echo "$actual"
if [ "$actual" != "$expected" ]; then
    fail "installed files differ from the expected ones (< expected, > installed):"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
fi
# The target never sees the sysroot: no installed text may name it.
named=$(grep -rlF "$sysroot" "$image/usr/lib/systemd" "$image/usr/share" || true)
[ -z "$named" ] || fail "the sysroot is named in: $named"
exec_start=$(sed -n 's/^ExecStart=//p' "$image/usr/lib/systemd/system/vornic.service" 2>/dev/null)
[ "$exec_start" = "/usr/sbin/vornic -s" ] || fail "ExecStart=$exec_start"

# The camera's processor picks 16 KiB pages, whoever wrote the toolchain file.
for file in /usr/sbin/vornic /usr/lib/vornic/libvornic-roles.so; do
    aligns=$(readelf -lW "$image$file" 2>/dev/null | awk '$1 == "LOAD" { print $NF }' | sort -u)
    [ "$aligns" = 0x4000 ] || fail "$file: LOAD segments aligned to $(echo $aligns), not 0x4000"
done

# The installed executable finds the installed library relative to itself: -p loads it and
# prints the shipped configuration.
status=0
out=$("$source_dir/tools/sandbox" --build "$simulators" --config "$image/usr/share/vornic/vornic.json" \
    -- "$image/usr/sbin/vornic" -p 2>&1) || status=$?
[ "$status" = 1 ] && grep -qx 'never_reboot = true' <<<"$out" ||
    fail "the installed vornic -p (status $status): $out"

[ "$failed" -eq 0 ] && echo "recipe-style install in order"
exit "$failed"
