// SPDX-License-Identifier: MIT
// Reading and validating the configuration file, with every diagnostic it can write. A full
// configuration read field by field shows in the printout of the command-line tests.
#include "config/config.h"

#include "common/unique_fd.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

using namespace std::string_literals;

namespace {

struct Loaded {
    std::optional<HandlerConfig> config;
    std::string err;
};

Loaded load_path(const std::string& path) {
    testing::internal::CaptureStderr();
    std::optional<HandlerConfig> config = load_config(path.c_str());
    return {std::move(config), testing::internal::GetCapturedStderr()};
}

Loaded load_text(const std::string& text) {
    TempDir dir;
    return load_path(dir.write("vornic.json", text));
}

TEST(LoadConfig, DocumentsThatReadAsNoListsAtAll) {
    const std::pair<std::string, uint32_t> rows[] = {
        {R"({"vornic": {"bind_devices": [], "never_reboot": false}})", 0},
        {R"({"vornic": 7})", 0},
        // Zero padding after the document, as on a fixed-size flash image, is not part of it.
        {"{\"vornic\": {\"never_reboot\": true}}\0\0\0garbage"s, NEVER_REBOOT},
    };
    for (const auto& [text, flags] : rows) {
        SCOPED_TRACE(text);
        Loaded loaded = load_text(text);
        ASSERT_TRUE(loaded.config) << loaded.err;
        EXPECT_EQ(loaded.err, "");
        EXPECT_EQ(loaded.config->flags, flags);
        EXPECT_FALSE(loaded.config->bind_devices || loaded.config->unbind_devices ||
                     loaded.config->startstop_services || loaded.config->reload_services ||
                     loaded.config->set_gpio);
    }
}

TEST(LoadConfig, FileThatCannotBeOpenedOrRead) {
    TempDir dir;
    // A socket file exists, but open() refuses it (ENXIO), whoever runs the test.
    std::string socket_path = dir / "socket.json";
    UniqueFd listener(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    socket_path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const std::pair<std::string, std::string> rows[] = {
        {dir / "missing.json", "<4> File '" + (dir / "missing.json") + "' not found\n"},
        {socket_path, "<4> File '" + socket_path + "' not found\n"},
        {dir.path.string(), "<4> Failed to read file: " + dir.path.string() + "\n"},
    };
    for (const auto& [path, err] : rows) {
        Loaded loaded = load_path(path);
        EXPECT_FALSE(loaded.config);
        EXPECT_EQ(loaded.err, err);
    }
}

// Each document is refused with exactly this one line.
const std::pair<std::string, std::string> refusals[] = {
    {"", "<4> Failed to allocate the root JSON object: ''[' or '{' expected near end of file'\n"},
    {"vornic = yes",
     "<4> Failed to allocate the root JSON object: ''[' or '{' expected near 'vornic''\n"},
    {"{\"vornic\": {\"set_gpio\": [\"acc\0power\"]}}"s,
     "<4> Failed to allocate the root JSON object: 'premature end of input near '\"acc''\n"},
    // The parser quotes the text where it stopped, a line break included, and the journal
    // would take that line break for the end of the message.
    {"{\"vornic\": \"\\u\n",
     "<4> Failed to allocate the root JSON object: 'invalid escape near '\"\\u?''\n"},
    {R"([{"vornic": {}}])", "<4> The root is not a JSON object\n"},
    {R"({"vornix": {}})", "<4> Invalid configuration: 'vornic' field missing.\n"},
    {R"({"vornic": {"sync_irlight": 1}})",
     "<3> Invalid value for 'sync_irlight', expected a boolean.\n"},
    {R"({"vornic": {"trigger_mic_swap": "true"}})",
     "<3> Invalid value for 'trigger_mic_swap', expected a boolean.\n"},
    {R"({"vornic": {"never_reboot": null}})",
     "<3> Invalid value for 'never_reboot', expected a boolean.\n"},
    // The first invalid flag stops the validation, in the order of the flags.
    {R"({"vornic": {"trigger_mic_swap": 0, "sync_irlight": "x"}})",
     "<3> Invalid value for 'sync_irlight', expected a boolean.\n"},
    {R"({"vornic": {"never_reboot": 0, "trigger_mic_swap": "x"}})",
     "<3> Invalid value for 'trigger_mic_swap', expected a boolean.\n"},
    {R"({"vornic": {"set_gpio": null}})", "<3> Invalid set_gpio array in configuration.\n"},
    {R"({"vornic": {"set_gpio": "gpio1"}})", "<3> Invalid set_gpio array in configuration.\n"},
    {R"({"vornic": {"set_gpio": ["gpio1", 2, "gpio3"]}})",
     "<3> Invalid set_gpio array in configuration.\n"},
    // So does the first invalid list, in the order of the lists.
    {R"({"vornic": {"unbind_devices": 1, "bind_devices": 1}})",
     "<3> Invalid bind_devices array in configuration.\n"},
    {R"({"vornic": {"startstop_services": 1, "unbind_devices": 1}})",
     "<3> Invalid unbind_devices array in configuration.\n"},
    {R"({"vornic": {"reload_services": 1, "startstop_services": 1}})",
     "<3> Invalid startstop_services array in configuration.\n"},
    {R"({"vornic": {"set_gpio": {}, "reload_services": 1}})",
     "<3> Invalid reload_services array in configuration.\n"},
    // The sanitizer build turns any leak of the valid first list into a failure.
    {R"({"vornic": {"bind_devices": ["/a/b", "/c/d"], "unbind_devices": [["/e/f"]]}})",
     "<3> Invalid unbind_devices array in configuration.\n"},
};

TEST(LoadConfig, EveryRefusalWithItsDiagnostic) {
    for (const auto& [text, err] : refusals) {
        SCOPED_TRACE(text);
        Loaded loaded = load_text(text);
        EXPECT_FALSE(loaded.config);
        EXPECT_EQ(loaded.err, err);
    }
}

} // namespace
