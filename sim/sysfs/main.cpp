// SPDX-License-Identifier: MIT
// vornic-sysfs-sim: the camera's /sys, simulated for the tests and the demo.
//
// vornic powers the accessory through GPIO value files (/sys/class/gpio/NAME/value) and moves
// kernel drivers on and off their devices by writing a device name to a driver directory's
// `bind` or `unbind` attribute. This program mounts a FUSE file system holding just those
// files, for the GPIOs and devices named in a vornic configuration and on its command line,
// and answers writes as the kernel does: a bound device shows up in its driver's directory as
// a link into /devices, binding it again is EBUSY, an unknown name ENODEV, a GPIO value other
// than 0 or 1 EINVAL; chosen attributes can be made to fail with EIO. Each write goes to a log
// that the other simulators append to as well.
//
// The sandbox mounts it over /sys inside vornic's private mount namespace. The command returns
// once the tree is mounted and usable, leaving a single-threaded daemon behind that exits when
// the file system is unmounted or on SIGTERM.
#include "command_line.h"
#include "initial_tree.h"
#include "operations.h"
#include "write_log.h"

#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FuseDestroy {
    void operator()(fuse* fs) const { fuse_destroy(fs); }
};
using FusePtr = std::unique_ptr<fuse, FuseDestroy>;

struct Free {
    void operator()(char* pointer) const { std::free(pointer); }
};

// Mounts, logs that the tree is ready, then serves it from a background process. The parent
// leaves only after the mount is in place, so whoever started us can use the tree at once.
int serve(SimState& sim, const std::string& mountpoint, const char* program) {
    std::string argv0 = program, dash_o = "-o",
                options = "allow_other,default_permissions,"
                          "fsname=vornic-sysfs-sim,subtype=vornic-sysfs-sim";
    char* argv[] = {argv0.data(), dash_o.data(), options.data()};
    fuse_args args = FUSE_ARGS_INIT(3, argv);
    FusePtr fs(fuse_new(&args, &sysfs_operations(), sizeof(fuse_operations), &sim));
    fuse_opt_free_args(&args);
    if (!fs)
        return 1;
    if (fuse_mount(fs.get(), mountpoint.c_str()) != 0)
        return 1;

    int result = 1;
    fuse_session* session = fuse_get_session(fs.get());
    if (fuse_set_signal_handlers(session) == 0) {
        if (int logged = append_line(sim.log.get(), "sysfs: ready\n"); logged < 0)
            std::fprintf(stderr, "vornic-sysfs-sim: cannot write the log: %s\n", strerror(-logged));
        else if (fuse_daemonize(0) == 0)
            result = fuse_loop(fs.get()) < 0 ? 1 : 0;
        fuse_remove_signal_handlers(session);
    }
    fuse_unmount(fs.get());
    return result;
}

} // namespace

int main(int argc, char** argv) {
    SimOptions options;
    switch (parse_command_line(argc, argv, options)) {
    case ParseResult::Help:
        return 0;
    case ParseResult::Invalid:
        return 2;
    case ParseResult::Run:
        break;
    }

    SimState sim;
    if (!options.config_path.empty())
        add_configuration(sim.tree, options);
    if (add_command_line(sim.tree, options) != 0)
        return 2;

    // The daemon changes to /, and unmounting needs the mountpoint's path from there.
    std::unique_ptr<char, Free> mountpoint(realpath(options.mountpoint.c_str(), nullptr));
    if (!mountpoint) {
        std::fprintf(stderr, "vornic-sysfs-sim: %s: %s\n", options.mountpoint.c_str(),
                     strerror(errno));
        return 1;
    }
    sim.log =
        UniqueFd(open(options.log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!sim.log) {
        std::fprintf(stderr, "vornic-sysfs-sim: %s: %s\n", options.log_path.c_str(),
                     strerror(errno));
        return 1;
    }
    clock_gettime(CLOCK_REALTIME, &sim.started);
    return serve(sim, mountpoint.get(), argv[0]);
}
