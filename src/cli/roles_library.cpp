// SPDX-License-Identifier: MIT
// The entry points of the roles library: the configuration printer and the action handler.
#include "cli/roles.h"

#include "handler/startup.h"
#include "cli/print_config.h"
#include "config/config.h"

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
