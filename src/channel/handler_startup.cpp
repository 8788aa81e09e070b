// Start-up of the action handler.
#include "channel/handler_startup.h"

#include <cstdio>

int run_action_handler() {
    fprintf(stderr, "The action handler is not available in this build.\n");
    return 1;
}
