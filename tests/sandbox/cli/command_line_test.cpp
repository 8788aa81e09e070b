// SPDX-License-Identifier: MIT
// The command line through the real binary, inside the sandbox: each row is a shell command
// with $VORNIC naming the binary, and what it must print and exit with.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string usage_line = "Usage: vornic [-p|-s] <attach|detach|reattach>\n";
const std::string no_action = "No action specified or too many arguments.\n";
const std::string no_handler = "<3> Unable to connect to Action Handler: No such file or directory\n";

// Keys the handler does not know are passed over, in the root and in its own object.
const std::string full_config = R"({"other": 1, "vornic": {
    "sync_irlight": true, "trigger_mic_swap": true, "never_reboot": false, "unknown_key": [1, 2],
    "bind_devices": ["/sys/bus/platform/drivers/mic/mic0", "/sys/bus/platform/drivers/mic/mic1"],
    "unbind_devices": ["/sys/bus/platform/drivers/spk/spk0"],
    "startstop_services": ["audiod", "streamd"],
    "reload_services": ["eventd"],
    "set_gpio": ["acc_power", "acc_reset"]}})";

const std::string full_printout = "sync_irlight = true\n"
                                  "trigger_mic_swap = true\n"
                                  "never_reboot = false\n"
                                  "bind_devices[0] = /sys/bus/platform/drivers/mic/mic0\n"
                                  "bind_devices[1] = /sys/bus/platform/drivers/mic/mic1\n"
                                  "unbind_devices[0] = /sys/bus/platform/drivers/spk/spk0\n"
                                  "startstop_services[0] = audiod\n"
                                  "startstop_services[1] = streamd\n"
                                  "reload_services[0] = eventd\n"
                                  "set_gpio[0] = acc_power\n"
                                  "set_gpio[1] = acc_reset\n";

const std::string sparse_config = R"({"vornic": {"never_reboot": true,
    "reload_services": ["eventd"], "bind_devices": []}})";

// The handler role refuses before it looks at anything else.
const std::string as_nobody = R"(exec setpriv --reuid=65534 --regid=65534 --clear-groups "$VORNIC" )";
// A copy of the executable without the roles library beside it.
const std::string alone = R"(mkdir /run/alone && cp "$VORNIC" /run/alone/ && exec /run/alone/vornic )";
const std::string unloadable = "<3> Unable to load the roles library: /run/alone/"
                               "libvornic-roles.so: cannot open shared object file: No such "
                               "file or directory\n";

const std::string unknown_key = "<4> vornic.unknown_key: unknown key 'unknown_key' is ignored; "
                                "did you mean 'bind_devices'?\n";

// Prints, then submits to a stand-in handler that shows the bytes it received.
const std::string print_then_detach = R"sh(
    exec 3< <("$ACCEPT_ONCE" /run/vornic.socket)
    read -r ready <&3
    "$VORNIC" -p detach && echo "received $(cat <&3)")sh";

struct Row {
    std::string script;
    std::optional<std::string> config;
    int status;
    std::string out;
    std::string err;
};

const Row rows[] = {
    {R"("$VORNIC")", {}, 1, "", no_action},
    {R"("$VORNIC" attach detach)", {}, 1, "", no_action},
    {R"("$VORNIC" -h)", {}, 0, usage_line, ""},
    {R"(exec -a camera-accessory "$VORNIC" -h)", {}, 0,
     "Usage: camera-accessory [-p|-s] <attach|detach|reattach>\n", ""},
    {R"("$VORNIC" -x attach)", {}, 1, usage_line, vornic_binary + ": invalid option -- 'x'\n"},
    {R"("$VORNIC" ATTACH)", {}, 1, usage_line, "Invalid action: 'ATTACH'\n"},
    {R"("$VORNIC" 'attach ')", {}, 1, usage_line, "Invalid action: 'attach '\n"},
    {as_nobody + "-s", {}, 1, "", "You must be root to spawn the action handler.\n"},
    {as_nobody + "-s attach", {}, 1, "", "You must be root to spawn the action handler.\n"},
    // No handler listens, so the client's connect failure shows that the client ran.
    {R"("$VORNIC" -s attach)", {}, 1, "", no_handler},
    {R"("$VORNIC" -p)", full_config, 1, full_printout, no_action},
    {R"("$VORNIC" -p)", sparse_config, 1,
     "sync_irlight = false\n"
     "trigger_mic_swap = false\n"
     "never_reboot = true\n"
     "reload_services[0] = eventd\n"
     "set_gpio = null\n",
     no_action},
    {R"("$VORNIC" -p -h)", full_config, 0, full_printout + usage_line, ""},
    {R"("$VORNIC" -p attach)", {}, 1, "",
     "<4> File '/usr/share/vornic/vornic.json' not found\nFailed to get configuration\n"},
    {print_then_detach, full_config, 0, full_printout + "received 01000000\n", ""},
    // -t checks the installed file or the one named, -t twice makes its warnings fail.
    {R"("$VORNIC" -t)", sparse_config, 0, "", ""},
    {R"("$VORNIC" -t)", full_config, 0, "", unknown_key},
    {R"("$VORNIC" -t -t)", full_config, 1, "", unknown_key},
    {R"("$VORNIC" -t /run/other.json)", sparse_config, 1, "",
     "<4> File '/run/other.json' not found\n"},
    // Without root, and without the installed file: only the file named is read.
    {R"(echo '{"vornic": {}}' >/run/other.json; )" + as_nobody + "-t /run/other.json", {}, 0,
     "", ""},
    {R"("$VORNIC" -t a.json b.json)", {}, 1, "",
     "Only one configuration file can be checked at a time.\n"},
    {R"("$VORNIC" -t -n attach)", {}, 1, usage_line, ""},
    // -n runs without privileges, and takes exactly one action word, before or after it.
    {as_nobody + "detach -n", sparse_config, 0,
     "reload service eventd: com.norv.PolicyKitSystem has an owner\n"
     "report success\n"
     "on failure: no reboot (never_reboot)\n",
     ""},
    {R"("$VORNIC" -n)", {}, 1, "", no_action},
    // The check ends the run: -s beside it starts no handler.
    {R"("$VORNIC" -s -t)", sparse_config, 0, "", ""},
    {R"("$VORNIC" -n attach)", {}, 1, "",
     "<4> File '/usr/share/vornic/vornic.json' not found\nFailed to get configuration\n"},
    {alone + "-p", full_config, 1, "", unloadable},
    {alone + "-n attach", full_config, 1, "", unloadable},
    {alone + "-s", full_config, 1, "", unloadable},
    {alone + "attach", full_config, 1, "", no_handler},
};

TEST(CommandLine, EveryRoleAndMisuse) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        Outcome result = Sandbox{.config = row.config}.shell(row.script);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
    }
}

} // namespace
