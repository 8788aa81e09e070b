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

# The linker aligns AArch64 segments to 64 KiB by default, for kernels with pages that large,
# and pads each file to match: the executable and its library would take 130 KiB where their
# contents take 40. The camera's kernel runs with 4 KiB pages; 16 KiB leaves room for a kernel
# built with 16 KiB pages, while a 64 KiB-page kernel would refuse to run the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-z,max-page-size=16384")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-z,max-page-size=16384")
