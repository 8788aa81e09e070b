// SPDX-License-Identifier: MIT
// Test driver that calls the handler's parts directly, inside the sandbox, so their logic can
// be tested against the simulated platform:
//   probe execute ACTION          carry out attach|detach|reattach on the system bus
//   probe ir-lights               synchronise the IR lights, print the script's status
//   probe mic-swap                re-apply the roll angle
#include "config/config.h"
#include "handler/execute.h"
#include "platform/ir_lights.h"
#include "platform/mic_swap.h"
#include "platform/system_bus.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage() {
    fprintf(stderr, "usage: probe execute ACTION | ir-lights | mic-swap\n");
    return 2;
}

std::optional<HandlerConfig> config_or_complain() {
    std::optional<HandlerConfig> config = load_config(CONFIG_PATH);
    if (!config)
        fprintf(stderr, "probe: no configuration\n");
    return config;
}

int execute(const char* word) {
    std::optional<HandlerConfig> config = config_or_complain();
    if (!config)
        return 2;
    ActionCode action = strcmp(word, "attach") == 0   ? ATTACH
                        : strcmp(word, "detach") == 0 ? DETACH
                                                      : REATTACH;
    BusPtr bus = open_system_bus();
    if (!bus)
        return 2;
    return execute_action(action, false, *config, bus);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "execute" && argc == 3)
        return execute(argv[2]);
    // Each opens the connection that the handler would lend it.
    if (command == "ir-lights") {
        BusPtr bus = open_system_bus();
        printf("status %d\n", sync_ir_lights(bus.get()));
        return 0;
    }
    if (command == "mic-swap") {
        BusPtr bus = open_system_bus();
        request_mic_swap(bus.get());
        return 0;
    }
    return usage();
}
