// Reading and validating the configuration file, with every diagnostic it can write.
#include "config/config.h"

#include "common/unique_fd.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

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

TEST(LoadConfig, FullConfigurationIsCopiedInOrder) {
    Loaded loaded = load_text(R"({"other": 1, "vornic": {
        "sync_irlight": true, "trigger_mic_swap": false, "never_reboot": true,
        "bind_devices": ["/sys/bus/i2c/drivers/mic/1-0040", "/sys/bus/i2c/drivers/mic/1-0041"],
        "unbind_devices": ["/sys/bus/usb/drivers/snd/1-1"],
        "startstop_services": ["audio", "video"],
        "reload_services": ["events"],
        "set_gpio": ["accessory_power"],
        "unknown_key": [1, 2]}})");
    ASSERT_TRUE(loaded.config);
    EXPECT_EQ(loaded.err, "");
    const HandlerConfig& config = *loaded.config;
    EXPECT_EQ(config.flags, SYNC_IRLIGHT | NEVER_REBOOT);
    EXPECT_EQ(config.bind_devices, (std::vector<std::string>{"/sys/bus/i2c/drivers/mic/1-0040",
                                                             "/sys/bus/i2c/drivers/mic/1-0041"}));
    EXPECT_EQ(config.unbind_devices, std::vector<std::string>{"/sys/bus/usb/drivers/snd/1-1"});
    EXPECT_EQ(config.startstop_services, (std::vector<std::string>{"audio", "video"}));
    EXPECT_EQ(config.reload_services, std::vector<std::string>{"events"});
    EXPECT_EQ(config.set_gpio, std::vector<std::string>{"accessory_power"});
}

TEST(LoadConfig, EmptyAndAbsentArraysAreBothNoList) {
    Loaded loaded = load_text(R"({"vornic": {"bind_devices": [], "never_reboot": false}})");
    ASSERT_TRUE(loaded.config);
    EXPECT_FALSE(loaded.config->bind_devices);
    EXPECT_FALSE(loaded.config->unbind_devices);
    EXPECT_FALSE(loaded.config->set_gpio);
    EXPECT_EQ(loaded.config->flags, 0u);
}

TEST(LoadConfig, VornicValueThatIsNotAnObjectReadsAsEmpty) {
    Loaded loaded = load_text(R"({"vornic": 7})");
    ASSERT_TRUE(loaded.config);
    EXPECT_EQ(loaded.err, "");
    EXPECT_EQ(loaded.config->flags, 0u);
    EXPECT_FALSE(loaded.config->bind_devices || loaded.config->unbind_devices ||
                 loaded.config->startstop_services || loaded.config->reload_services ||
                 loaded.config->set_gpio);
}

TEST(LoadConfig, FileThatCannotBeOpenedIsNotFound) {
    TempDir dir;
    std::string missing = dir / "missing.json";
    Loaded loaded = load_path(missing);
    EXPECT_FALSE(loaded.config);
    EXPECT_EQ(loaded.err, "<4> File '" + missing + "' not found\n");

    // A socket file exists, but open() refuses it (ENXIO), whoever runs the test.
    std::string socket_path = dir / "socket.json";
    UniqueFd listener(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    socket_path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    loaded = load_path(socket_path);
    EXPECT_FALSE(loaded.config);
    EXPECT_EQ(loaded.err, "<4> File '" + socket_path + "' not found\n");
}

TEST(LoadConfig, DirectoryCannotBeRead) {
    TempDir dir;
    Loaded loaded = load_path(dir.path.string());
    EXPECT_FALSE(loaded.config);
    EXPECT_EQ(loaded.err, "<4> Failed to read file: " + dir.path.string() + "\n");
}

TEST(LoadConfig, TextThatIsNotJsonShowsTheParserError) {
    Loaded empty = load_text("");
    EXPECT_FALSE(empty.config);
    EXPECT_EQ(empty.err,
              "<4> Failed to allocate the root JSON object: "
              "''[' or '{' expected near end of file'\n");

    Loaded garbage = load_text("vornic = yes");
    EXPECT_FALSE(garbage.config);
    EXPECT_EQ(garbage.err, "<4> Failed to allocate the root JSON object: "
                           "''[' or '{' expected near 'vornic''\n");
}

TEST(LoadConfig, DocumentEndsAtTheFirstNulByte) {
    using namespace std::string_literals;
    // Zero padding after the document, as on a fixed-size flash image, is not part of it.
    Loaded padded = load_text("{\"vornic\": {\"never_reboot\": true}}\0\0\0garbage"s);
    ASSERT_TRUE(padded.config) << padded.err;
    EXPECT_EQ(padded.config->flags, NEVER_REBOOT);

    Loaded cut = load_text("{\"vornic\": {\"set_gpio\": [\"acc\0power\"]}}"s);
    EXPECT_FALSE(cut.config);
    EXPECT_EQ(cut.err, "<4> Failed to allocate the root JSON object: "
                       "'premature end of input near '\"acc''\n");
}

TEST(LoadConfig, ParserErrorQuotingControlCharactersStaysOneLine) {
    // The parser quotes the text where it stopped, a line break included, and the journal
    // would take that line break for the end of the message.
    Loaded loaded = load_text("{\"vornic\": \"\\u\n");
    EXPECT_FALSE(loaded.config);
    EXPECT_EQ(loaded.err, "<4> Failed to allocate the root JSON object: "
                          "'invalid escape near '\"\\u?''\n");
}

TEST(LoadConfig, RootMustBeAnObjectWithVornic) {
    Loaded array = load_text(R"([{"vornic": {}}])");
    EXPECT_FALSE(array.config);
    EXPECT_EQ(array.err, "<4> The root is not a JSON object\n");

    Loaded missing = load_text(R"({"vornix": {}})");
    EXPECT_FALSE(missing.config);
    EXPECT_EQ(missing.err, "<4> Invalid configuration: 'vornic' field missing.\n");
}

TEST(LoadConfig, FlagsMustBeBooleans) {
    for (const char* flag : {"sync_irlight", "trigger_mic_swap", "never_reboot"}) {
        for (const char* value : {"1", "\"true\"", "null"}) {
            SCOPED_TRACE(std::string(flag) + " = " + value);
            Loaded loaded =
                load_text(std::string(R"({"vornic": {")") + flag + "\": " + value + "}}");
            EXPECT_FALSE(loaded.config);
            EXPECT_EQ(loaded.err, std::string("<3> Invalid value for '") + flag +
                                      "', expected a boolean.\n");
        }
    }
}

TEST(LoadConfig, FirstInvalidFlagStopsValidation) {
    Loaded loaded = load_text(R"({"vornic": {"never_reboot": 0, "sync_irlight": "x"}})");
    EXPECT_FALSE(loaded.config);
    EXPECT_EQ(loaded.err, "<3> Invalid value for 'sync_irlight', expected a boolean.\n");
}

TEST(LoadConfig, ListsMustBeArraysOfStrings) {
    for (const char* value : {"null", "\"gpio1\"", R"(["gpio1", 2, "gpio3"])", "{}"}) {
        SCOPED_TRACE(value);
        Loaded loaded = load_text(std::string(R"({"vornic": {"set_gpio": )") + value + "}}");
        EXPECT_FALSE(loaded.config);
        EXPECT_EQ(loaded.err, "<3> Invalid set_gpio array in configuration.\n");
    }
}

TEST(LoadConfig, InvalidListAfterValidOneReleasesEverything) {
    // The sanitizer build turns any leak of the first list into a failure.
    Loaded loaded = load_text(
        R"({"vornic": {"bind_devices": ["/a/b", "/c/d"], "unbind_devices": [["/e/f"]]}})");
    EXPECT_FALSE(loaded.config);
    EXPECT_EQ(loaded.err, "<3> Invalid unbind_devices array in configuration.\n");
}

} // namespace
