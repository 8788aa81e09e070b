// SPDX-License-Identifier: MIT
// Parses "[-p|-s] <attach|detach|reattach>" and dispatches to the client or the handler.
// Part of the executable, which links libc alone: no C++ run time here (no exceptions, RTTI,
// streams or strings), and the printer and the handler are reached through the roles library.
#include "cli/command_line.h"

#include "channel/action_code.h"
#include "channel/client.h"
#include "cli/load_roles.h"
#include "cli/roles.h"
#include "common/mask_control_characters.h"

#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

void usage(const char* program_path) {
    const char* slash = strrchr(program_path, '/');
    printf("Usage: %s [-p|-s] <attach|detach|reattach>\n", slash ? slash + 1 : program_path);
}

std::optional<ActionCode> parse_action_word(const char* word) {
    if (strcmp(word, "attach") == 0)
        return ATTACH;
    if (strcmp(word, "detach") == 0)
        return DETACH;
    if (strcmp(word, "reattach") == 0)
        return REATTACH;
    return std::nullopt;
}

} // namespace

int run_command_line(int argc, char* argv[]) {
    bool handler_role = false;

    // Options take effect in the order given: "-p -h" prints the configuration, then usage.
    int option;
    while ((option = getopt(argc, argv, "phs")) != -1) {
        switch (option) {
        case 'h':
            usage(argv[0]);
            return 0;
        case 's':
            if (geteuid() != 0) {
                fprintf(stderr, "You must be root to spawn the action handler.\n");
                return 1;
            }
            handler_role = true;
            break;
        case 'p':
            if (run_library_role(PRINT_CONFIGURATION_ENTRY) != 0)
                return 1;
            break;
        default:
            usage(argv[0]);
            return 1;
        }
    }

    // An action word always selects the client, even together with -s.
    if (argc == optind + 1) {
        std::optional<ActionCode> code = parse_action_word(argv[optind]);
        if (!code) {
            mask_control_characters(argv[optind]);
            fprintf(stderr, "Invalid action: '%s'\n", argv[optind]);
            usage(argv[0]);
            return 1;
        }
        return submit_action(*code, ACTION_SOCKET_PATH);
    }
    if (handler_role)
        return run_library_role(ACTION_HANDLER_ENTRY);

    fprintf(stderr, "No action specified or too many arguments.\n");
    return 1;
}
