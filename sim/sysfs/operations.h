// SPDX-License-Identifier: MIT
// The FUSE operations serving the simulated /sys from a SysfsTree, logging every write.
#pragma once

#include "common/unique_fd.h"
#include "tree.h"

#include <fuse.h>

#include <ctime>

// Handed to fuse_new() as the file system's private data.
struct SimState {
    SysfsTree tree;
    UniqueFd log;
    timespec started{}; // every node's time stamps
};

const fuse_operations& sysfs_operations();
