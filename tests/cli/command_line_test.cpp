// The command line through the real binary, inside the sandbox.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string usage_line = "Usage: vornic [-p|-s] <attach|detach|reattach>\n";
const std::string no_action = "No action specified or too many arguments.\n";

const std::string full_config = R"({"vornic": {
    "sync_irlight": true, "trigger_mic_swap": true, "never_reboot": false,
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

Outcome vornic(const std::vector<std::string>& args, std::optional<std::string> config = {}) {
    std::vector<std::string> command = {vornic_binary};
    command.insert(command.end(), args.begin(), args.end());
    return Sandbox{.config = std::move(config)}.run(command);
}

TEST(CommandLine, NoArgumentsIsNoAction) {
    Outcome result = vornic({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, no_action);
}

TEST(CommandLine, HelpNamesTheProgramByItsBaseName) {
    Outcome with_slash = vornic({"-h"});
    EXPECT_EQ(with_slash.status, 0);
    EXPECT_EQ(with_slash.out, usage_line);
    EXPECT_EQ(with_slash.err, "");

    Outcome bare = Sandbox{}.shell(R"(exec -a camera-accessory "$VORNIC" -h)");
    EXPECT_EQ(bare.status, 0);
    EXPECT_EQ(bare.out, "Usage: camera-accessory [-p|-s] <attach|detach|reattach>\n");
}

TEST(CommandLine, UnknownOptionShowsParserComplaintAndUsage) {
    Outcome result = vornic({"-x", "attach"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, usage_line);
    EXPECT_EQ(result.err, vornic_binary + ": invalid option -- 'x'\n");
}

TEST(CommandLine, HandlerRoleNeedsRootEvenWithActionWord) {
    for (std::string args : {"-s", "-s attach"}) {
        SCOPED_TRACE(args);
        Outcome result = Sandbox{}.shell(
            "exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$VORNIC\" " + args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "You must be root to spawn the action handler.\n");
    }
}

TEST(CommandLine, ActionWordSelectsClientEvenWithHandlerOption) {
    // No handler listens, so the client's own connect failure shows which role ran.
    Outcome result = vornic({"-s", "attach"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "<3> Unable to connect to Action Handler: No such file or directory\n");
}

TEST(CommandLine, PrintAloneShowsConfigurationThenNoAction) {
    Outcome result = vornic({"-p"}, full_config);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, full_printout);
    EXPECT_EQ(result.err, no_action);
}

TEST(CommandLine, PrintSparseConfiguration) {
    Outcome result = vornic({"-p"}, R"({"vornic": {"never_reboot": true,
                                        "reload_services": ["eventd"], "bind_devices": []}})");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "sync_irlight = false\n"
                          "trigger_mic_swap = false\n"
                          "never_reboot = true\n"
                          "reload_services[0] = eventd\n"
                          "set_gpio = null\n");
}

TEST(CommandLine, PrintFailureShowsLoaderDiagnosticFirst) {
    Outcome missing = vornic({"-p", "attach"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "<4> File '/usr/share/vornic/vornic.json' not found\n"
                           "Failed to get configuration\n");

    Outcome invalid = vornic({"-p"}, R"({"vornic": {"set_gpio": "acc_power"}})");
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.err, "<3> Invalid set_gpio array in configuration.\n"
                           "Failed to get configuration\n");
}

TEST(CommandLine, PrintThenHelpActsInOrder) {
    Outcome result = vornic({"-p", "-h"}, full_config);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, full_printout + usage_line);
}

TEST(CommandLine, PrintWithDetachPrintsThenSubmits) {
    Sandbox sandbox{.config = full_config};
    Outcome result = sandbox.shell(R"sh(
        exec 3< <("$ACCEPT_ONCE" /run/vornic.socket)
        read -r ready <&3
        "$VORNIC" -p detach
        status=$?
        echo "received $(cat <&3)"
        exit $status)sh");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, full_printout + "received 01000000\n");
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, ActionWordsAreExactAndCaseSensitive) {
    for (const char* word : {"Attach", "ATTACH", "attach ", "remove"}) {
        SCOPED_TRACE(word);
        Outcome result = vornic({word});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, usage_line);
        EXPECT_EQ(result.err, std::string("Invalid action: '") + word + "'\n");
    }
}

TEST(CommandLine, WithoutItsLibraryOnlyTheClientRuns) {
    // A copy of the executable without the roles library beside it.
    const std::string unloadable = "<3> Unable to load the roles library: /run/alone/"
                                   "libvornic-roles.so: cannot open shared object file: No such "
                                   "file or directory\n";
    const std::pair<std::string, std::string> cases[] = {
        {"-p", unloadable},
        {"-s", unloadable},
        {"attach", "<3> Unable to connect to Action Handler: No such file or directory\n"},
    };
    for (const auto& [args, err] : cases) {
        SCOPED_TRACE(args);
        Outcome result = Sandbox{.config = full_config}.shell(
            R"(mkdir /run/alone && cp "$VORNIC" /run/alone/ && exec /run/alone/vornic )" + args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, err);
    }
}

TEST(CommandLine, TwoOperandsAreTooMany) {
    Outcome result = vornic({"attach", "detach"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, no_action);
}

} // namespace
