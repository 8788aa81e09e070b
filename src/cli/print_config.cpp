// SPDX-License-Identifier: MIT
// Prints a configuration on stdout, one setting or list entry per line.
#include "cli/print_config.h"

#include "common/printable.h"

#include <cstdio>

namespace {

const char* bool_word(bool value) { return value ? "true" : "false"; }

void print_list(const char* format, const StringList& list) {
    if (!list)
        return;
    int index = 0;
    for (const std::string& entry : *list)
        printf(format, index++, printable(entry).c_str());
}

} // namespace

void print_config(const HandlerConfig& config) {
    printf("sync_irlight = %s\n", bool_word(config.has(SYNC_IRLIGHT)));
    printf("trigger_mic_swap = %s\n", bool_word(config.has(TRIGGER_MIC_SWAP)));
    printf("never_reboot = %s\n", bool_word(config.has(NEVER_REBOOT)));
    print_list("bind_devices[%d] = %s\n", config.bind_devices);
    print_list("unbind_devices[%d] = %s\n", config.unbind_devices);
    print_list("startstop_services[%d] = %s\n", config.startstop_services);
    print_list("reload_services[%d] = %s\n", config.reload_services);
    if (config.set_gpio)
        print_list("set_gpio[%d] = %s\n", config.set_gpio);
    else
        printf("set_gpio = null\n");
}
