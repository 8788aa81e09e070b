// SPDX-License-Identifier: MIT
// Parses "[-p|-s] <attach|detach|reattach>", "-t [FILE]" and "-n <action>", and dispatches to
// the client, the handler, the configuration check or the dry run. Part of the executable,
// which links libc alone: no C++ run time here (no exceptions, RTTI, streams or strings), and
// every role but the client is reached through the roles library.
#include "cli/command_line.h"

#include "channel/action_code.h"
#include "channel/client.h"
#include "cli/load_roles.h"
#include "cli/roles.h"
#include "common/make_printable.h"

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

} // namespace

int run_command_line(int argc, char* argv[]) {
    bool handler_role = false;
    int checks = 0; // -t given twice makes the check's warnings fail it
    bool dry_run = false;

    // Options take effect in the order given: "-p -h" prints the configuration, then usage.
    int option;
    while ((option = getopt(argc, argv, "phstn")) != -1) {
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
        case 't':
            checks++;
            break;
        case 'n':
            dry_run = true;
            break;
        default:
            usage(argv[0]);
            return 1;
        }
    }

    // The check and the dry run end the run; they do not mix.
    if (checks > 0 && dry_run) {
        usage(argv[0]);
        return 1;
    }
    if (checks > 0) {
        if (argc > optind + 1) {
            fprintf(stderr, "Only one configuration file can be checked at a time.\n");
            return 1;
        }
        // Null stands for the installed configuration.
        const char* path = argc == optind + 1 ? argv[optind] : nullptr;
        return run_library_role(CHECK_CONFIGURATION_ENTRY, path, checks > 1 ? 1 : 0);
    }

    // An action word always selects the client, even together with -s, unless -n asks what
    // the action would do instead.
    if (argc == optind + 1) {
        std::optional<ActionCode> code = parse_action_word(argv[optind]);
        if (!code) {
            make_printable(argv[optind]);
            fprintf(stderr, "Invalid action: '%s'\n", argv[optind]);
            usage(argv[0]);
            return 1;
        }
        if (dry_run)
            return run_library_role(DRY_RUN_ENTRY, static_cast<int>(*code));
        return submit_action(*code, ACTION_SOCKET_PATH);
    }
    if (handler_role && !dry_run)
        return run_library_role(ACTION_HANDLER_ENTRY);

    fprintf(stderr, "No action specified or too many arguments.\n");
    return 1;
}
