// SPDX-License-Identifier: MIT
// The entry points of the roles library: the configuration printer and check, the dry run
// and the action handler.
#include "cli/roles.h"

#include "cli/dry_run.h"
#include "cli/print_config.h"
#include "config/check_file.h"
#include "config/config.h"
#include "handler/startup.h"

#include <cstdio>

#define ENTRY_POINT extern "C" __attribute__((visibility("default")))

ENTRY_POINT int vornic_print_configuration(void) {
    std::optional<HandlerConfig> config = load_config(CONFIG_PATH);
    if (!config) {
        fprintf(stderr, "Failed to get configuration\n");
        return 1;
    }
    print_config(*config);
    fflush(stdout);
    return 0;
}

ENTRY_POINT int vornic_run_action_handler(void) { return run_action_handler(); }

ENTRY_POINT int vornic_check_configuration(const char* path, int findings_fail) {
    return check_config_file(path ? path : CONFIG_PATH, findings_fail != 0);
}

ENTRY_POINT int vornic_dry_run(int action) { return dry_run(static_cast<ActionCode>(action)); }
