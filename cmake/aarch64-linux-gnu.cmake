# SPDX-License-Identifier: MIT
# Cross build for the camera (64-bit Arm) with Debian's aarch64-linux-gnu compiler and the
# :arm64 multiarch libraries (libjansson-dev:arm64, libsystemd-dev:arm64, libgtest-dev:arm64).
# Test programs run through qemu-aarch64-static, named explicitly because the build machine
# need not have binfmt handlers for foreign binaries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Multiarch keeps the target's headers and libraries beside the host's, so search the host's
# tree for them but never for programs: those must be the build machine's own.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkg-config must read the target's .pc files, not the host's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The cross compiler's own run-time libraries (libstdc++, the dynamic loader) live under
# /usr/aarch64-linux-gnu; -L makes the emulator look there first.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu)

# Segments are aligned to 16 KiB, not the linker's 64: VORNIC_MAX_PAGE_SIZE in CMakeLists.txt.
