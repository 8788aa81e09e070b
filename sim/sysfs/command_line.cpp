// SPDX-License-Identifier: MIT
// getopt_long over the simulator's options; the checks that need the tree happen later.
#include "command_line.h"

#include <getopt.h>

#include <cstdio>

namespace {

enum Option {
    CONFIG = 256,
    LOG,
    ALL_BOUND,
    BOUND,
    FAIL_GPIO,
    FAIL_WRITE,
    HANG_WRITE,
    ABSENT_GPIO,
};

const option long_options[] = {
    {"config", required_argument, nullptr, CONFIG},
    {"log", required_argument, nullptr, LOG},
    {"all-bound", no_argument, nullptr, ALL_BOUND},
    {"bound", required_argument, nullptr, BOUND},
    {"fail-gpio", required_argument, nullptr, FAIL_GPIO},
    {"fail-write", required_argument, nullptr, FAIL_WRITE},
    {"hang-write", required_argument, nullptr, HANG_WRITE},
    {"absent-gpio", required_argument, nullptr, ABSENT_GPIO},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

ParseResult invalid(const char* program, const char* complaint) {
    if (complaint)
        std::fprintf(stderr, "%s: %s\n", program, complaint);
    print_usage(program, true);
    return ParseResult::Invalid;
}

} // namespace

void print_usage(const char* program, bool to_stderr) {
    std::fprintf(to_stderr ? stderr : stdout,
                 "Usage: %s [--config FILE] --log FILE [--all-bound] [--bound DEVICE_PATH]...\n"
                 "       [--fail-gpio NAME]... [--fail-write ATTRIBUTE_PATH]...\n"
                 "       [--hang-write ATTRIBUTE_PATH]...\n"
                 "       [--absent-gpio NAME]... MOUNTPOINT\n"
                 "\n"
                 "Mounts a simulated /sys at MOUNTPOINT and serves it in the background.\n",
                 program);
}

ParseResult parse_command_line(int argc, char** argv, SimOptions& options) {
    const char* program = argv[0];
    optind = 1;
    int option;
    while ((option = getopt_long(argc, argv, "h", long_options, nullptr)) != -1) {
        switch (option) {
        case CONFIG:
            options.config_path = optarg;
            break;
        case LOG:
            options.log_path = optarg;
            break;
        case ALL_BOUND:
            options.all_bound = true;
            break;
        case BOUND:
            options.bound.push_back(optarg);
            break;
        case FAIL_GPIO:
            options.failing_gpios.push_back(optarg);
            break;
        case FAIL_WRITE:
            options.failing_writes.push_back(optarg);
            break;
        case HANG_WRITE:
            options.hanging_writes.push_back(optarg);
            break;
        case ABSENT_GPIO:
            options.absent_gpios.push_back(optarg);
            break;
        case 'h':
            print_usage(program, false);
            return ParseResult::Help;
        default:
            return invalid(program, nullptr); // getopt has said what was wrong
        }
    }
    if (options.log_path.empty())
        return invalid(program, "--log is required");
    if (optind != argc - 1)
        return invalid(program, "exactly one MOUNTPOINT is required");
    options.mountpoint = argv[optind];
    return ParseResult::Run;
}
